// The results screen: renders one finished calculation on four tabs, with
// the two charts, printing and the report.
#pragma once

#include <QString>
#include <QWidget>

#include "core/analysis_state.h"
#include "core/results.h"
#include "screens/platform.h"

class QCloseEvent;

namespace quorrel {

class OutPut : public QWidget {
    Q_OBJECT
public:
    // liquid_wealth_text: the input screen's liquid-wealth box as shown, for
    // the report.
    OutPut(AnalysisState& state, const ResultsRecord& results, Platform& platform,
           QString liquid_wealth_text, QWidget* parent = nullptr);

signals:
    // "Return" pressed or the window closed: the owner discards this screen
    // and shows the input screen again.
    void returned();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void out_put_Command1_Click();

    AnalysisState& state_;
    ResultsRecord results_;
    Platform& platform_;
    QString liquid_wealth_text_;
    bool returned_ = false;
};

}  // namespace quorrel
