#include "screens/results/out_put.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorrel {

OutPut::OutPut(AnalysisState& state, const ResultsRecord& results, Platform& platform,
               QString liquid_wealth_text, QWidget* parent)
    : QWidget(parent),
      state_(state),
      results_(results),
      platform_(platform),
      liquid_wealth_text_(std::move(liquid_wealth_text)) {
    setObjectName("out_put");
    setWindowTitle("Results and Analysis");
    auto* layout = new QVBoxLayout(this);
    auto* back = new QPushButton("Return", this);
    back->setObjectName("Command1");
    layout->addWidget(back);
    connect(back, &QPushButton::clicked, this, [this] { out_put_Command1_Click(); });
}

void OutPut::out_put_Command1_Click() {
    if (returned_) return;
    returned_ = true;
    emit returned();
}

void OutPut::closeEvent(QCloseEvent* event) {
    out_put_Command1_Click();
    QWidget::closeEvent(event);
}

}  // namespace quorrel
