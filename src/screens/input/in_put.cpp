// The input screen's loading and the handlers that write each control's
// field of AnalysisState: lists by position, option buttons by their code,
// amount boxes when they lose the focus.
#include "screens/input/in_put.h"

#include <QApplication>
#include <algorithm>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

#include "core/defaults.h"
#include "core/number_format.h"
#include "core/pipeline.h"
#include "screens/front/help_screen.h"
#include "screens/results/out_put.h"
#include "valuation/mortality_tables.h"

namespace quorrel {
namespace {

QString percent_item(int per_mille) {
    return QString::fromStdString(format_percent2(per_mille / 1000.0));
}

// Fills a list without running its handler; nothing is selected afterwards,
// so the first selection made in code raises the handler like a user's.
void fill(QComboBox* list, const QStringList& items) {
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(items);
    list->setCurrentIndex(-1);
}

QStringList numbers(int first, int last, int step = 1) {
    QStringList items;
    for (int n = first; n <= last; n += step) items << QString::number(n);
    return items;
}

QStringList percents_per_mille(int first, int last) {
    QStringList items;
    for (int i = first; i <= last; ++i) items << percent_item(i);
    return items;
}

// The mouse press that moved the focus out of a refused box reaches its
// widget only after the message box has closed, its release long gone to the
// message box: a button would stay pressed, a list would open. Until the
// event loop turns over, that press is dropped.
class SwallowPress : public QObject {
public:
    explicit SwallowPress(QWidget* target) : QObject(qApp), target_(target) {
        qApp->installEventFilter(this);
        QTimer::singleShot(0, this, [this] { deleteLater(); });
    }
    ~SwallowPress() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick: {
                auto* w = qobject_cast<QWidget*>(watched);
                return target_ != nullptr && w != nullptr &&
                       (w == target_ || target_->isAncestorOf(w));
            }
            default:
                return false;
        }
    }

private:
    QPointer<QWidget> target_;
};

}  // namespace

InPut::InPut(AnalysisState& state, Platform& platform, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform) {
    build_ui();
    connect_handlers();
    in_put_Form_Load();
}

InPut::~InPut() {
    for (auto& help : helps_) delete help.data();
    delete results_.data();
}

OutPut* InPut::results_screen() const { return results_.data(); }

HelpScreen* InPut::help_screen(int page) const {
    return page >= 1 && page <= 5 ? helps_[page - 1].data() : nullptr;
}

void InPut::connect_handlers() {
    auto on_select = [this](QComboBox* list, void (InPut::*handler)()) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, handler] { (this->*handler)(); });
    };
    auto on_option = [this](QRadioButton* option, void (InPut::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) (this->*handler)();
        });
    };
    on_option(prob_1994, &InPut::in_put_prob_1994_Click);
    on_option(prob_iam2000, &InPut::in_put_prob_iam2000_Click);
    on_option(prob_rp2000, &InPut::in_put_prob_rp2000_Click);
    on_option(annu_1983, &InPut::in_put_annu_1983_Click);
    on_option(annu_iam2000, &InPut::in_put_annu_iam2000_Click);
    on_select(prob_proj_num, &InPut::in_put_prob_proj_num_Click);
    on_select(annu_proj_num, &InPut::in_put_annu_proj_num_Click);
    for (int k = 0; k < 12; ++k)
        connect(Combo4[k], &QComboBox::currentIndexChanged, this, [this, k] { in_put_Combo4_Click(k); });
    on_select(ind_current_age, &InPut::in_put_ind_current_age_Click);
    on_select(ind_sex, &InPut::in_put_ind_sex_Click);
    for (int k = 0; k < 2; ++k) {
        connect(Combo1[k], &QComboBox::currentIndexChanged, this, [this, k] { in_put_Combo1_Click(k); });
        connect(Combo2[k], &QComboBox::currentIndexChanged, this, [this, k] { in_put_Combo2_Click(k); });
    }
    on_select(Combo3, &InPut::in_put_Combo3_Click);
    on_select(Combo5, &InPut::in_put_Combo5_Click);
    for (int k = 0; k < 10; ++k)
        connect(Combo6[k], &QComboBox::currentIndexChanged, this, [this, k] { in_put_Combo6_Click(k); });
    on_select(stock_mean, &InPut::in_put_stock_mean_Click);
    on_select(nomi_bond_mean, &InPut::in_put_nomi_bond_mean_Click);
    on_select(real_bond_mean, &InPut::in_put_real_bond_mean_Click);
    on_select(cash_mean, &InPut::in_put_cash_mean_Click);
    on_select(estate_mean, &InPut::in_put_estate_mean_Click);
    on_select(stock_dev, &InPut::in_put_stock_dev_Click);
    on_select(nomi_bond_dev, &InPut::in_put_nomi_bond_dev_Click);
    on_select(real_bond_dev, &InPut::in_put_real_bond_dev_Click);
    on_select(estate_dev, &InPut::in_put_estate_dev_Click);

    for (AmountBox& box : amounts_) box.edit->installEventFilter(this);

    connect(TabStrip1, &QTabWidget::currentChanged, this, &InPut::in_put_TabStrip1_Click);
    connect(Command1, &QPushButton::clicked, this, &InPut::in_put_Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &InPut::in_put_Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &InPut::in_put_Command6_Click);
    connect(Timer1, &QTimer::timeout, this, &InPut::in_put_Timer1_Timer);
    for (const char* name : {"Command9", "Command10", "Command11", "Command12", "Command13"})
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
                &InPut::in_put_PrintScreen_Click);
    const std::pair<const char*, int> helps[] = {
        {"Command4", 1}, {"Command3", 2}, {"Command5", 3}, {"Command7", 4}, {"Command8", 5}};
    for (const auto& [name, page] : helps)
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
                [this, page = page] { in_put_Help_Click(page); });
}

void InPut::select_index(QComboBox* list, int index) { list->setCurrentIndex(index); }

void InPut::in_put_Form_Load() {
    const InputDefaults& d = input_defaults();

    // 1. The fields no selection below writes first.
    state_.gender_text = gender_caption(d.gender_index);
    current_page_ = 1;
    state_.gender_code = static_cast<std::int16_t>(d.gender_index);
    state_.ruin_table_code = static_cast<std::int16_t>(d.ruin_table_code);
    state_.annuity_table_code = static_cast<std::int16_t>(d.annuity_table_code);
    state_.ruin_projection_years = static_cast<std::int16_t>(d.ruin_projection_years);
    state_.annuity_projection_years = static_cast<std::int16_t>(d.annuity_projection_years);
    state_.progress_frame = 0;
    state_.current_age = d.current_age;

    // 2. Page 1 first.
    {
        const QSignalBlocker quiet(TabStrip1);
        TabStrip1->setCurrentIndex(0);
    }

    // 3. The lists.
    fill(ind_current_age, numbers(50, 90));
    fill(annu_proj_num, numbers(0, 30));
    fill(prob_proj_num, numbers(0, 30));
    fill(Combo3, numbers(5, 30, 5));
    const QStringList rates = percents_per_mille(1, 500);
    for (QComboBox* c : Combo4) fill(c, rates);
    select_index(prob_proj_num, d.ruin_projection_years);
    select_index(annu_proj_num, d.annuity_projection_years);
    for (int k = 0; k < 6; ++k) select_index(Combo4[k], d.nominal_rate_index);
    for (int k = 6; k < 12; ++k) select_index(Combo4[k], d.real_rate_index);
    QStringList whole;
    for (int i = 0; i <= 100; ++i) whole << QStringLiteral("%1%").arg(i);
    for (QComboBox* c : Combo6) fill(c, whole);
    const QStringList means = percents_per_mille(0, 300);
    for (QComboBox* c : {stock_mean, nomi_bond_mean, real_bond_mean, cash_mean, estate_mean})
        fill(c, means);
    const QStringList devs = percents_per_mille(0, 400);
    for (QComboBox* c : {stock_dev, nomi_bond_dev, real_bond_dev, estate_dev}) fill(c, devs);
    fill(ind_sex, {"Male", "Female", "Unisex"});
    for (int k = 0; k < 2; ++k) {
        fill(Combo1[k], {"0%", "1%", "2%", "3%", "4%"});
        fill(Combo2[k], {"2%", "4%", "6%", "8%"});
    }
    QStringList markets;
    for (const MarketPreset& p : market_presets()) markets << p.name;
    fill(Combo5, markets);

    // 4. The mortality tables.
    QRadioButton* ruin_options[3] = {prob_1994, prob_iam2000, prob_rp2000};
    ruin_options[std::clamp(d.ruin_table_code, 1, 3) - 1]->setChecked(true);
    (d.annuity_table_code == 1 ? annu_1983 : annu_iam2000)->setChecked(true);

    // 5. Page 5's captions copy page 4's.
    for (int k = 0; k < 10; ++k) {
        Label51[k]->setText(Label50[k]->text());
        Label51[k]->setVisible(!Label50[k]->isHidden());
    }

    // 6. The market preset.
    select_index(Combo5, d.market_country);
    state_.market_country = static_cast<std::int16_t>(d.market_country);

    // 7. The names of the mortality choices.
    state_.ruin_table_name = ruin_table_caption(d.ruin_table_code);
    state_.annuity_table_name = annuity_table_caption(d.annuity_table_code);
    state_.ruin_projection_text = prob_proj_num->currentText().toStdString();
    state_.annuity_projection_text = annu_proj_num->currentText().toStdString();

    // 8. The remaining default selections.
    select_index(ind_current_age, d.current_age - 50);
    select_index(ind_sex, d.gender_index);
    for (QComboBox* c : Combo1) select_index(c, d.cola_index);
    for (QComboBox* c : Combo2) select_index(c, d.air_index);
    select_index(Combo3, d.later_years_index);
    for (QComboBox* c : Combo6) select_index(c, d.weight_percent);
    const MarketPreset& preset = market_presets().at(d.market_country);
    QComboBox* mean_lists[5] = {stock_mean, nomi_bond_mean, real_bond_mean, cash_mean, estate_mean};
    QComboBox* dev_lists[4] = {stock_dev, nomi_bond_dev, real_bond_dev, estate_dev};
    for (int k = 0; k < 5; ++k) select_index(mean_lists[k], preset.mean_per_mille[k]);
    for (int k = 0; k < 4; ++k) select_index(dev_lists[k], preset.dev_per_mille[k]);

    // 9. The amount boxes.
    const QString texts[8] = {QString::fromStdString(d.target_income_text),
                              QString::fromStdString(d.liquid_wealth_text),
                              QString::fromStdString(d.amount_text),
                              QString::fromStdString(d.amount_text),
                              QString::fromStdString(d.amount_text),
                              QString::fromStdString(d.amount_text),
                              QString::fromStdString(d.amount_text),
                              QString::fromStdString(d.amount_text)};
    for (int i = 0; i < 8; ++i) {
        AmountBox& box = amounts_[i];
        box.edit->setText(texts[i]);
        box.accepted_text = texts[i];
        state_.*box.field = parse_amount(texts[i].toStdString()).value_or(0);
    }

    // 10, 11.
    state_.weight_sum = 1;
    state_.later_weight_sum = 1;
    load_mortality_tables(state_);
}

// ---- Page 1 -------------------------------------------------------------

void InPut::in_put_prob_1994_Click() {
    state_.ruin_table_name = prob_1994->text().toStdString();
    state_.ruin_table_code = 1;
}
void InPut::in_put_prob_iam2000_Click() {
    state_.ruin_table_name = prob_iam2000->text().toStdString();
    state_.ruin_table_code = 2;
}
void InPut::in_put_prob_rp2000_Click() {
    state_.ruin_table_name = prob_rp2000->text().toStdString();
    state_.ruin_table_code = 3;
}
void InPut::in_put_annu_1983_Click() {
    state_.annuity_table_name = annu_1983->text().toStdString();
    state_.annuity_table_code = 1;
}
void InPut::in_put_annu_iam2000_Click() {
    state_.annuity_table_name = annu_iam2000->text().toStdString();
    state_.annuity_table_code = 2;
}
void InPut::in_put_prob_proj_num_Click() {
    if (prob_proj_num->currentIndex() < 0) return;
    state_.ruin_projection_text = prob_proj_num->currentText().toStdString();
    state_.ruin_projection_years = static_cast<std::int16_t>(prob_proj_num->currentText().toInt());
}
void InPut::in_put_annu_proj_num_Click() {
    if (annu_proj_num->currentIndex() < 0) return;
    state_.annuity_projection_text = annu_proj_num->currentText().toStdString();
    state_.annuity_projection_years = static_cast<std::int16_t>(annu_proj_num->currentText().toInt());
}

// ---- Page 2 -------------------------------------------------------------

void InPut::in_put_Combo4_Click(int index) {
    const int i = Combo4[index]->currentIndex();
    if (i < 0) return;
    double AnalysisState::*const fields[12] = {
        &AnalysisState::nominal_rate_1, &AnalysisState::nominal_rate_2, &AnalysisState::nominal_rate_3,
        &AnalysisState::nominal_rate_4, &AnalysisState::nominal_rate_5, &AnalysisState::nominal_rate_6,
        &AnalysisState::real_rate_1,    &AnalysisState::real_rate_2,    &AnalysisState::real_rate_3,
        &AnalysisState::real_rate_4,    &AnalysisState::real_rate_5,    &AnalysisState::real_rate_6};
    state_.*fields[index] = (i + 1) / 1000.0;
}

// ---- Page 3 -------------------------------------------------------------

void InPut::in_put_ind_current_age_Click() {
    if (ind_current_age->currentIndex() < 0) return;
    state_.current_age = parse_amount(ind_current_age->currentText().trimmed().toStdString()).value_or(0);
}

void InPut::in_put_ind_sex_Click() {
    const int i = ind_sex->currentIndex();
    if (i < 0) return;
    state_.gender_text = ind_sex->currentText().trimmed().toStdString();
    state_.gender_code = static_cast<std::int16_t>(i);
}

void InPut::in_put_Combo1_Click(int index) {
    const int i = Combo1[index]->currentIndex();
    if (i < 0) return;
    const double rate = i / 100.0;
    (index == 0 ? state_.cola_rate : state_.cola_rate_mirror) = rate;
    select_index(Combo1[1 - index], i);
    if (index == 0)
        state_.cola_rate_mirror = state_.cola_rate;
    else
        state_.cola_rate = state_.cola_rate_mirror;
}

void InPut::in_put_Combo2_Click(int index) {
    const int i = Combo2[index]->currentIndex();
    if (i < 0) return;
    const double rate = (i + 1) * 2 / 100.0;
    (index == 0 ? state_.air_rate : state_.air_rate_mirror) = rate;
    select_index(Combo2[1 - index], i);
    if (index == 0)
        state_.air_rate_mirror = state_.air_rate;
    else
        state_.air_rate = state_.air_rate_mirror;
}

void InPut::in_put_Text10_LostFocus() { amount_lost_focus(kText10); }
void InPut::in_put_Text11_LostFocus() { amount_lost_focus(kText11); }
void InPut::in_put_Text1_LostFocus() { amount_lost_focus(kText1); }
void InPut::in_put_Text3_LostFocus() { amount_lost_focus(kText3); }
void InPut::in_put_Text4_LostFocus() { amount_lost_focus(kText4); }
void InPut::in_put_Text5_LostFocus() { amount_lost_focus(kText5); }
void InPut::in_put_ind_annu_income_LostFocus() { amount_lost_focus(kIndAnnuIncome); }
void InPut::in_put_Text2_LostFocus() { amount_lost_focus(kText2); }

void InPut::amount_lost_focus(int box) {
    // While a message is up or the focus is being put back, focus changes
    // are the check's own doing, not the user leaving a box.
    if (checking_ || running_) return;
    refused_for_button_ = nullptr;
    refused_box_for_button_ = -1;
    QWidget* next = QApplication::focusWidget();
    if (!check_amount(box)) {
        if (next != nullptr && next != amounts_[box].edit) new SwallowPress(next);
        if (next == Command1 || next == Command6) {
            refused_for_button_ = static_cast<QPushButton*>(next);
            refused_box_for_button_ = box;
        }
    }
}

// Checks a box's text and stores it; on refusal shows the message and puts
// the focus back into the box.
bool InPut::check_amount(int index) {
    AmountBox& box = amounts_[index];
    const std::optional<double> v = parse_money(box.edit->text().toStdString());
    const char* refusal = !v ? kNotNumberMessage : (*v < 0 ? kNegativeAmountMessage : nullptr);
    if (refusal == nullptr) {
        state_.*box.field = *v;
        box.accepted_text = QString::fromStdString(format_grouped0(*v));
        box.edit->setText(box.accepted_text);
        return true;
    }
    checking_ = true;
    platform_.show_message(this, kInputTitle, refusal, MessageIcon::critical);
    if (box.edit->isVisible()) {
        activateWindow();  // the message box had the keyboard
        box.edit->setFocus(Qt::OtherFocusReason);
    } else {
        // The box was left by a page change: bring its page back after the
        // page change has finished.
        QPointer<QLineEdit> edit = box.edit;
        QTimer::singleShot(0, this, [this, edit] {
            if (edit == nullptr || running_) return;
            checking_ = true;
            show_page(3);
            if (current_page_ == 3) edit->setFocus(Qt::OtherFocusReason);
            checking_ = false;
        });
    }
    checking_ = false;
    return false;
}

// Before "Calculate" or "Go": every amount box must hold an accepted value.
// A box still showing text that was never accepted is checked now (the
// keyboard can press a button without moving the focus).
bool InPut::amounts_ready(QPushButton* button) {
    const int told = refused_for_button_ == button ? refused_box_for_button_ : -1;
    refused_for_button_ = nullptr;
    refused_box_for_button_ = -1;
    for (int i = 0; i < static_cast<int>(amounts_.size()); ++i) {
        AmountBox& box = amounts_[i];
        if (box.edit->text() == box.accepted_text) continue;
        if (i == told) return false;  // the message of this very click is shown already
        if (!box.edit->isVisible()) {
            show_page(3);
            if (current_page_ != 3) return false;
        }
        if (!check_amount(i)) return false;
    }
    return true;
}

// ---- Page 4 -------------------------------------------------------------

void InPut::in_put_Combo3_Click() {
    const int i = Combo3->currentIndex();
    if (i < 0) return;
    state_.later_allocation_years = static_cast<std::int16_t>((i + 1) * 5);
}

void InPut::in_put_Combo5_Click() {
    const int i = Combo5->currentIndex();
    if (i < 0) return;
    state_.market_country = static_cast<std::int16_t>(i);
    const MarketPreset& preset = market_presets().at(i == 0 ? 0 : 1);
    Label34->setText(preset.name);
    QComboBox* mean_lists[5] = {stock_mean, nomi_bond_mean, real_bond_mean, cash_mean, estate_mean};
    QComboBox* dev_lists[4] = {stock_dev, nomi_bond_dev, real_bond_dev, estate_dev};
    for (int k = 0; k < 5; ++k) select_index(mean_lists[k], preset.mean_per_mille[k]);
    for (int k = 0; k < 4; ++k) select_index(dev_lists[k], preset.dev_per_mille[k]);
    for (int k = 0; k < 5; ++k) {
        Label50[k]->setVisible(i == 0);
        Label50[k + 5]->setVisible(i != 0);
    }
}

void InPut::in_put_Combo6_Click(int index) {
    const int i = Combo6[index]->currentIndex();
    if (i < 0) return;
    const double w = i / 100.0;
    struct Pair {
        double AnalysisState::*weight;
        double AnalysisState::*copy;
    };
    static const Pair pairs[10] = {
        {&AnalysisState::weight_stock, &AnalysisState::weight_copy_stock},
        {&AnalysisState::weight_nomi_bond, &AnalysisState::weight_copy_nomi_bond},
        {&AnalysisState::weight_real_bond, &AnalysisState::weight_copy_real_bond},
        {&AnalysisState::weight_cash, &AnalysisState::weight_copy_cash},
        {&AnalysisState::weight_estate, &AnalysisState::weight_copy_estate},
        {&AnalysisState::later_weight_stock, &AnalysisState::later_weight_copy_stock},
        {&AnalysisState::later_weight_nomi_bond, &AnalysisState::later_weight_copy_nomi_bond},
        {&AnalysisState::later_weight_real_bond, &AnalysisState::later_weight_copy_real_bond},
        {&AnalysisState::later_weight_cash, &AnalysisState::later_weight_copy_cash},
        {&AnalysisState::later_weight_estate, &AnalysisState::later_weight_copy_estate},
    };
    state_.*pairs[index].weight = w;
    state_.*pairs[index].copy = w;
}

// ---- Page 5 -------------------------------------------------------------

void InPut::set_assumption(QComboBox* list, double AnalysisState::*field) {
    const int i = list->currentIndex();
    if (i < 0) return;
    state_.*field = i / 1000.0;
}

void InPut::in_put_stock_mean_Click() { set_assumption(stock_mean, &AnalysisState::mean_stock); }
void InPut::in_put_nomi_bond_mean_Click() { set_assumption(nomi_bond_mean, &AnalysisState::mean_nomi_bond); }
void InPut::in_put_real_bond_mean_Click() { set_assumption(real_bond_mean, &AnalysisState::mean_real_bond); }
void InPut::in_put_cash_mean_Click() { set_assumption(cash_mean, &AnalysisState::mean_cash); }
void InPut::in_put_estate_mean_Click() { set_assumption(estate_mean, &AnalysisState::mean_estate); }
void InPut::in_put_stock_dev_Click() { set_assumption(stock_dev, &AnalysisState::dev_stock); }
void InPut::in_put_nomi_bond_dev_Click() { set_assumption(nomi_bond_dev, &AnalysisState::dev_nomi_bond); }
void InPut::in_put_real_bond_dev_Click() { set_assumption(real_bond_dev, &AnalysisState::dev_real_bond); }
void InPut::in_put_estate_dev_Click() { set_assumption(estate_dev, &AnalysisState::dev_estate); }

// ---- Pages, help, printing, exit ----------------------------------------

void InPut::update_page5_captions() {
    const bool usa = state_.market_country == 0;
    for (int k = 0; k < 5; ++k) {
        Label51[k]->setVisible(usa);
        Label51[k + 5]->setVisible(!usa);
    }
}

void InPut::in_put_TabStrip1_Click(int tab_index) {
    const int s = tab_index + 1;
    const int c = current_page_;
    if (c == 4) {
        if (s == c) return;
        const AnalysisState& st = state_;
        state_.weight_sum = st.weight_copy_stock + st.weight_copy_nomi_bond +
                            st.weight_copy_real_bond + st.weight_copy_cash + st.weight_copy_estate;
        state_.later_weight_sum = st.later_weight_copy_stock + st.later_weight_copy_nomi_bond +
                                  st.later_weight_copy_real_bond + st.later_weight_copy_cash +
                                  st.later_weight_copy_estate;
        if (!allocation_is_complete(state_.weight_sum) ||
            !allocation_is_complete(state_.later_weight_sum)) {
            // The tab strip goes back to the allocation tab with its page,
            // before the message, so the message stands over that page.
            {
                const QSignalBlocker quiet(TabStrip1);
                TabStrip1->setCurrentIndex(3);
            }
            platform_.show_message(this, kInputTitle, kPageAllocationMessage, MessageIcon::none);
            return;
        }
    }
    if (c == 5 || s == 5) update_page5_captions();
    if (s != c) current_page_ = s;
}

void InPut::show_page(int page) { TabStrip1->setCurrentIndex(page - 1); }

void InPut::in_put_Help_Click(int page) {
    QPointer<HelpScreen>& help = helps_[page - 1];
    if (help == nullptr) help = new HelpScreen(page, this);
    // A minimised help window comes back to its normal size.
    if (help->isMinimized()) help->setWindowState(help->windowState() & ~Qt::WindowMinimized);
    help->show();
    help->raise();
    help->activateWindow();
}

void InPut::in_put_PrintScreen_Click() {
    if (!platform_.print_window(this))
        platform_.show_message(this, kInputTitle, kPrintFailureMessage, MessageIcon::critical);
}

void InPut::in_put_Command2_Click() { close(); }

void InPut::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The stages still read this screen's record; end once they are done.
        exit_after_run_ = true;
        event->ignore();
        return;
    }
    event->accept();
    finish_exit();
}

void InPut::finish_exit() {
    for (auto& help : helps_)
        if (help != nullptr) help->close();
    emit exit_requested();
}

bool InPut::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus (a message box, another program) is
        // not the user leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            int box = 0;
            while (box < 8 && watched != amounts_[box].edit) ++box;
            switch (box) {
                case kText10: in_put_Text10_LostFocus(); break;
                case kText11: in_put_Text11_LostFocus(); break;
                case kText1: in_put_Text1_LostFocus(); break;
                case kText3: in_put_Text3_LostFocus(); break;
                case kText4: in_put_Text4_LostFocus(); break;
                case kText5: in_put_Text5_LostFocus(); break;
                case kIndAnnuIncome: in_put_ind_annu_income_LostFocus(); break;
                case kText2: in_put_Text2_LostFocus(); break;
                default: break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quorrel
