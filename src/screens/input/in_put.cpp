// The input screen's loading and the handlers that write each control's
// field of AnalysisState: lists by position, option buttons by their code,
// amount boxes when they lose the focus.
#include "screens/input/in_put.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

#include "analysis/case_file.h"
#include "analysis/input_catalogue.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "screens/front/help_screen.h"
#include "screens/results/out_put.h"
#include "valuation/mortality_tables.h"

namespace quorrel {
namespace {

// Fills a list without running its handler; nothing is selected afterwards,
// so the first selection made in code raises the handler like a user's.
void fill(QComboBox* list, const QStringList& items) {
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(items);
    list->setCurrentIndex(-1);
}

// The items of a list or choice of the catalogue, as the screen shows them.
QStringList items_of(const InputRow& row) {
    QStringList items;
    for (int i = 0; i < item_count(row); ++i) items << QString::fromStdString(item_text(row, i));
    return items;
}

const char* const kClasses[5] = {"stock", "nomi_bond", "real_bond", "cash", "estate"};

std::string class_key(const char* prefix, int k, const char* suffix = "_percent") {
    return std::string(prefix) + kClasses[k] + suffix;
}

// The mouse press that moved the focus out of a refused box reaches its
// widget only after the message box has closed, its release long gone to the
// message box: a button would stay pressed, a list would open. Until the
// event loop turns over, that press is dropped.
class SwallowPress final : public QObject {
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
            default: return false;
        }
    }

private:
    QPointer<QWidget> target_;
};

}  // namespace

InPut::InPut(AnalysisState& state, Platform& platform, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform) {
    build_ui();
    build_menu();
    bind_inputs();
    name_controls();
    connect_handlers();
    in_put_Form_Load();
    // The defaults are a new case with nothing to save.
    case_now({}, {}, case_values(state_).values);
}

InPut::~InPut() {
    for (auto& help : helps_) delete help.data();
    delete results_.data();
}

OutPut* InPut::results_screen() const { return results_.data(); }

HelpScreen* InPut::help_screen(int page) const {
    return page >= 1 && page <= static_cast<int>(helps_.size()) ? helps_[page - 1].data() : nullptr;
}

void InPut::connect_handlers() {
    auto on_select = [this](QComboBox* list, void (InPut::*handler)()) {
        connect(list, &QComboBox::currentIndexChanged, this,
                [this, handler] { (this->*handler)(); });
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
        connect(Combo4[k], &QComboBox::currentIndexChanged, this,
                [this, k] { in_put_Combo4_Click(k); });
    on_select(ind_current_age, &InPut::in_put_ind_current_age_Click);
    on_select(ind_sex, &InPut::in_put_ind_sex_Click);
    for (int k = 0; k < 2; ++k) {
        connect(Combo1[k], &QComboBox::currentIndexChanged, this,
                [this, k] { in_put_Combo1_Click(k); });
        connect(Combo2[k], &QComboBox::currentIndexChanged, this,
                [this, k] { in_put_Combo2_Click(k); });
    }
    on_select(Combo3, &InPut::in_put_Combo3_Click);
    on_select(Combo5, &InPut::in_put_Combo5_Click);
    for (int k = 0; k < 10; ++k)
        connect(Combo6[k], &QComboBox::currentIndexChanged, this,
                [this, k] { in_put_Combo6_Click(k); });
    on_select(stock_mean, &InPut::in_put_stock_mean_Click);
    on_select(nomi_bond_mean, &InPut::in_put_nomi_bond_mean_Click);
    on_select(real_bond_mean, &InPut::in_put_real_bond_mean_Click);
    on_select(cash_mean, &InPut::in_put_cash_mean_Click);
    on_select(estate_mean, &InPut::in_put_estate_mean_Click);
    on_select(stock_dev, &InPut::in_put_stock_dev_Click);
    on_select(nomi_bond_dev, &InPut::in_put_nomi_bond_dev_Click);
    on_select(real_bond_dev, &InPut::in_put_real_bond_dev_Click);
    on_select(estate_dev, &InPut::in_put_estate_dev_Click);
    on_select(advisory_fee, &InPut::in_put_advisory_fee_Click);
    on_select(spouse_current_age, &InPut::in_put_spouse_current_age_Click);
    for (QComboBox* list : {spouse_sex, survivor_spending, survivor_share, spending_rule,
                            spending_rate, guardrail_upper, guardrail_lower, spending_cut,
                            spending_raise})
        connect(list, &QComboBox::currentIndexChanged, this, [this, list] { list_chosen(list); });

    for (AmountBox& box : amounts_) box.edit->installEventFilter(this);

    connect(TabStrip1, &QTabWidget::currentChanged, this, &InPut::in_put_TabStrip1_Click);
    connect(Command1, &QPushButton::clicked, this, &InPut::in_put_Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &InPut::in_put_Command2_Click);
    connect(Command6, &QPushButton::clicked, this, &InPut::in_put_Command6_Click);
    connect(Timer1, &QTimer::timeout, this, &InPut::in_put_Timer1_Timer);
    for (const char* name :
         {"Command9", "Command10", "Command11", "Command12", "Command13", "Command15"})
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
                &InPut::in_put_PrintScreen_Click);
    const std::pair<const char*, int> helps[] = {
        {"Command4", 1}, {"Command3", 2}, {"Command5", 3},
        {"Command7", 4}, {"Command8", 5}, {"Command14", kHouseholdHelpPage}};
    for (const auto& [name, page] : helps)
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
                [this, page = page] { in_put_Help_Click(page); });
}

void InPut::select_index(QComboBox* list, int index) { list->setCurrentIndex(index); }

// Which controls feed which input of the catalogue.
void InPut::bind_inputs() {
    controls_.assign(input_catalogue().size(), {});
    const auto lists = [this](const std::string& key, std::vector<QComboBox*> lists) {
        controls_[input_index(key)].lists = std::move(lists);
    };
    lists("current_age", {ind_current_age});
    lists("gender", {ind_sex});
    lists("ruin_projection_years", {prob_proj_num});
    lists("annuity_projection_years", {annu_proj_num});
    for (int k = 0; k < 6; ++k) {
        lists("nominal_rate_" + std::to_string(k + 1) + "_percent", {Combo4[k]});
        lists("real_rate_" + std::to_string(k + 1) + "_percent", {Combo4[k + 6]});
    }
    lists("cola_percent", {Combo1[0], Combo1[1]});
    lists("air_percent", {Combo2[0], Combo2[1]});
    lists("later_allocation_years", {Combo3});
    lists("market", {Combo5});
    for (int k = 0; k < 5; ++k) {
        lists(class_key("weight_", k), {Combo6[k]});
        lists(class_key("later_weight_", k), {Combo6[k + 5]});
    }
    QComboBox* const means[5] = {stock_mean, nomi_bond_mean, real_bond_mean, cash_mean,
                                 estate_mean};
    QComboBox* const devs[5] = {stock_dev, nomi_bond_dev, real_bond_dev, nullptr, estate_dev};
    for (int k = 0; k < 5; ++k) {
        lists(class_key("mean_", k), {means[k]});
        if (devs[k] != nullptr) lists(class_key("dev_", k), {devs[k]});
    }
    lists("advisory_fee_percent", {advisory_fee});
    lists("spouse_age", {spouse_current_age});
    lists("spouse_gender", {spouse_sex});
    lists("survivor_spending_percent", {survivor_spending});
    lists("survivor_share_percent", {survivor_share});
    lists("spending_rule", {spending_rule});
    lists("spending_rate_percent", {spending_rate});
    lists("guardrail_upper_percent", {guardrail_upper});
    lists("guardrail_lower_percent", {guardrail_lower});
    lists("spending_cut_percent", {spending_cut});
    lists("spending_raise_percent", {spending_raise});
    controls_[input_index("ruin_table")].options = {prob_1994, prob_iam2000, prob_rp2000};
    controls_[input_index("annuity_table")].options = {annu_1983, annu_iam2000};
    for (int box = 0; box < static_cast<int>(amounts_.size()); ++box)
        controls_[amounts_[box].row].amount = box;
}

// What a screen reader says of each input: the catalogue's caption (a list's
// item or a box's text is its value, not its name), and what it accepts.
void InPut::name_controls() {
    const auto& rows = input_catalogue();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QString caption = QString::fromUtf8(rows[r].caption);
        const QString accepts = "Accepts " + QString::fromStdString(input_range(rows[r]));
        const InputControls& c = controls_[r];
        for (std::size_t k = 0; k < c.lists.size(); ++k) {
            // The COLA and AIR lists stand once by the pensions, once by the purchases.
            QString name = caption;
            if (c.lists.size() > 1) name += k == 0 ? " of the pension" : " of the annuity purchase";
            c.lists[k]->setAccessibleName(name);
            c.lists[k]->setAccessibleDescription(accepts);
        }
        for (QRadioButton* option : c.options) {
            option->setAccessibleName(caption + ": " + option->text().remove('&'));
            option->setAccessibleDescription(accepts);
        }
        if (c.amount >= 0) {
            amounts_[static_cast<std::size_t>(c.amount)].edit->setAccessibleName(caption);
            amounts_[static_cast<std::size_t>(c.amount)].edit->setAccessibleDescription(accepts);
        }
    }
    static const char* const kShaded[5] = {
        "Annuity income acquired, nominal", "Annuity income acquired, CPI-linked",
        "Annuity income acquired, variable", "Net consumption deficit", "Net investable wealth"};
    for (std::size_t k = 0; k < shaded_.size(); ++k) {
        shaded_[k]->setAccessibleName(kShaded[k]);
        shaded_[k]->setAccessibleDescription("Worked out by the Go button from the inputs");
    }
    refined_accuracy->setAccessibleName("Refined accuracy");
    refined_accuracy->setAccessibleDescription(refined_accuracy->toolTip());
    household_accuracy_note_->setAccessibleName("Refined accuracy for a household");
    household_accuracy_note_->setAccessibleDescription(household_accuracy_note_->toolTip());
    spending_accuracy_note_->setAccessibleName("Refined accuracy for a spending rule");
    spending_accuracy_note_->setAccessibleDescription(spending_accuracy_note_->toolTip());
}

// An amount box of the layout, fed by the catalogue's input `key`.
void InPut::bind_amount(int box, QLineEdit* edit, const char* key) {
    const std::size_t row = input_index(key);
    amounts_[box] = {edit, input_catalogue()[row].number, {}, row, 3};
}

// Fills every list with its catalogue items, without running a handler.
void InPut::fill_lists() {
    const auto& rows = input_catalogue();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (controls_[r].lists.empty()) continue;
        const QStringList items = items_of(rows[r]);
        for (QComboBox* list : controls_[r].lists) fill(list, items);
    }
}

// Selects an input's default in its controls, which runs its handler.
void InPut::select_default(std::size_t row) {
    const InputValue v = default_value(input_catalogue()[row]);
    for (QComboBox* list : controls_[row].lists) select_index(list, v.index);
    if (!controls_[row].options.empty())
        controls_[row].options.at(static_cast<std::size_t>(v.index))->setChecked(true);
}

void InPut::in_put_Form_Load() {
    bulk_selection_ = true;
    const auto& rows = input_catalogue();
    const auto default_of = [](const char* key) { return default_value(input_row(key)); };

    // The fields no selection below writes first.
    current_page_ = 1;
    state_.progress_frame = 0;
    for (const char* key : {"gender", "ruin_table", "annuity_table", "ruin_projection_years",
                            "annuity_projection_years", "current_age"})
        write_input(state_, input_row(key), default_of(key));
    // An input without a control on this screen holds its default.
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const InputControls& c = controls_[r];
        if (c.lists.empty() && c.options.empty() && c.amount < 0)
            write_input(state_, rows[r], default_value(rows[r]));
    }

    // Page 1 first.
    {
        const QSignalBlocker quiet(TabStrip1);
        TabStrip1->setCurrentIndex(0);
    }

    // The lists, with the selections of pages 1 and 2, then the option buttons.
    fill_lists();
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].page <= 2 && !controls_[r].lists.empty()) select_default(r);
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (!controls_[r].options.empty()) select_default(r);

    // Page 5's captions copy page 4's.
    for (int k = 0; k < 10; ++k) {
        Label51[k]->setText(Label50[k]->text());
        Label51[k]->setVisible(!Label50[k]->isHidden());
    }

    // The market preset.
    const std::size_t market = input_index("market");
    select_default(market);
    state_.market_country = static_cast<std::int16_t>(default_value(rows[market]).index);

    // The names of the mortality choices.
    state_.ruin_table_name = item_text(input_row("ruin_table"), default_of("ruin_table").index);
    state_.annuity_table_name =
        item_text(input_row("annuity_table"), default_of("annuity_table").index);
    state_.ruin_projection_text = prob_proj_num->currentText().toStdString();
    state_.annuity_projection_text = annu_proj_num->currentText().toStdString();

    // The remaining default selections.
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].page > 2 && r != market && !controls_[r].lists.empty()) select_default(r);

    // The amount boxes.
    for (AmountBox& box : amounts_) {
        const QString text = QString::fromStdString(rows[box.row].default_amount);
        box.edit->setText(text);
        box.accepted_text = text;
        state_.*box.field = parse_amount(text.toStdString()).value_or(0);
    }

    // Complete allocations, and the mortality tables.
    state_.weight_sum = 1;
    state_.later_weight_sum = 1;
    load_mortality_tables(state_);
    bulk_selection_ = false;
    update_totals();
}

// A list's selection writes its input by position; the other list of a
// pair follows to the same position (its own handler then writes the same
// value again).
void InPut::list_chosen(QComboBox* list) {
    const int i = list->currentIndex();
    if (i < 0) return;
    std::size_t row = 0;
    while (row < controls_.size() &&
           std::find(controls_[row].lists.begin(), controls_[row].lists.end(), list) ==
               controls_[row].lists.end())
        ++row;
    if (row == controls_.size()) return;
    write_input(state_, input_catalogue()[row], {.index = i});
    for (QComboBox* other : controls_[row].lists)
        if (other != list) select_index(other, i);
    if (row == input_index("market")) market_chosen(i);
    if (row == input_index("spouse_age")) update_accuracy_lock();
    if (row == input_index("spending_rule")) {
        update_spending_controls();
        update_accuracy_lock();
    }
    input_changed();
}

void InPut::option_chosen(const char* key, int position) {
    write_input(state_, input_row(key), {.index = position});
    input_changed();
}

// After every change of an input: what follows from the inputs as a whole.
// A whole set selected at once is followed up once, at its end.
void InPut::input_changed() {
    if (bulk_selection_) return;
    update_totals();
    // Figures already shown no longer belong to the inputs.
    if (!shaded_[4]->text().isEmpty()) set_figures_stale(true);
    update_modified();
}

// Figures of earlier inputs are greyed and italic, with a tooltip saying so,
// until the next Go step brings them up to date.
void InPut::set_figures_stale(bool stale) {
    figures_stale_ = stale;
    for (QLineEdit* box : shaded_) {
        QFont f = box->font();
        f.setItalic(stale);
        box->setFont(f);
        QPalette p = box->palette();
        p.setColor(QPalette::Text, stale ? QColor(120, 120, 120) : palette().color(QPalette::Text));
        box->setPalette(p);
        box->setToolTip(stale ? "Out of date: the inputs have changed since this figure was worked "
                                "out. Go or Calculate brings it up to date."
                              : QString());
    }
}

// The market's lists show its preset and page 4 its index captions.
void InPut::market_chosen(int country) {
    Label34->setText(market_caption(country));
    for (std::size_t r : market_rows()) {
        const std::vector<int>& preset = input_catalogue()[r].preset;
        for (QComboBox* list : controls_[r].lists)
            select_index(list, preset.at(country == 0 ? 0 : 1));
    }
    for (int k = 0; k < 5; ++k) {
        Label50[k]->setVisible(country == 0);
        Label50[k + 5]->setVisible(country != 0);
    }
}

// ---- Page 1 -------------------------------------------------------------

void InPut::in_put_prob_1994_Click() { option_chosen("ruin_table", 0); }
void InPut::in_put_prob_iam2000_Click() { option_chosen("ruin_table", 1); }
void InPut::in_put_prob_rp2000_Click() { option_chosen("ruin_table", 2); }
void InPut::in_put_annu_1983_Click() { option_chosen("annuity_table", 0); }
void InPut::in_put_annu_iam2000_Click() { option_chosen("annuity_table", 1); }
void InPut::in_put_prob_proj_num_Click() { list_chosen(prob_proj_num); }
void InPut::in_put_annu_proj_num_Click() { list_chosen(annu_proj_num); }

// ---- Page 2 -------------------------------------------------------------

void InPut::in_put_Combo4_Click(int index) { list_chosen(Combo4[index]); }

// ---- Page 3 -------------------------------------------------------------

void InPut::in_put_ind_current_age_Click() { list_chosen(ind_current_age); }
void InPut::in_put_ind_sex_Click() { list_chosen(ind_sex); }
void InPut::in_put_Combo1_Click(int index) { list_chosen(Combo1[index]); }
void InPut::in_put_Combo2_Click(int index) { list_chosen(Combo2[index]); }

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
    // Leaving for "Exit" checks nothing: the program ends, whatever the box
    // holds, and a refusal would stand between the user and the button.
    if (next == Command2) return;
    // Left as it was accepted: the stored value, fraction and all, stands
    // (checking the shown "1,235" again would store 1235 for 1234.56).
    if (amounts_[box].edit->text() == amounts_[box].accepted_text) return;
    if (!check_amount(box)) {
        if (next != nullptr && next != amounts_[box].edit) new SwallowPress(next);
        // Only a press on the button itself is followed by its click, and at
        // once. The focus also reaches a button by a page change, and without
        // a window manager a later click may come with no focus change at all:
        // neither may be taken for that click.
        if ((next == Command1 || next == Command6) && leaving_reason_ == Qt::MouseFocusReason) {
            refused_for_button_ = static_cast<QPushButton*>(next);
            refused_box_for_button_ = box;
            QTimer::singleShot(0, this, [this] {
                refused_for_button_ = nullptr;
                refused_box_for_button_ = -1;
            });
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
        accept_amount(index, *v);
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
        const int page = box.page;
        QTimer::singleShot(0, this, [this, edit, page] {
            if (edit == nullptr || running_) return;
            checking_ = true;
            show_page(page);
            if (current_page_ == page) edit->setFocus(Qt::OtherFocusReason);
            checking_ = false;
        });
    }
    checking_ = false;
    return false;
}

// An accepted amount is stored with any fraction it has and shown grouped.
void InPut::accept_amount(int index, double value) {
    AmountBox& box = amounts_[index];
    const bool changed = state_.*box.field != value;
    state_.*box.field = value;
    box.accepted_text = QString::fromStdString(format_grouped0(value));
    box.edit->setText(box.accepted_text);
    if (changed) input_changed();
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
            show_page(box.page);
            if (current_page_ != box.page) return false;
        }
        if (!check_amount(i)) return false;
    }
    return true;
}

// ---- The Household page ------------------------------------------------

void InPut::in_put_spouse_current_age_Click() { list_chosen(spouse_current_age); }

// A household is computed by the refined scheme only, and so is spending
// that follows wealth (the guardrails rule by simulation): a spouse or such
// a rule ticks "Refined accuracy" and holds it; removing both gives back the
// person's own choice. The lock is not a choice of the person's, so it is
// not kept for the next session.
void InPut::update_accuracy_lock() {
    const bool spouse = spouse_current_age->currentIndex() > 0;
    const int rule = std::max(0, spending_rule->currentIndex());
    const bool lock = spouse || rule > 0;
    household_accuracy_note_->setVisible(spouse);
    // A household with such a rule is refused at Calculate; its note says enough.
    spending_accuracy_note_->setText(rule == 2 ? kGuardrailsAccuracyNote : kPercentAccuracyNote);
    spending_accuracy_note_->setVisible(rule > 0 && !spouse);
    if (lock == accuracy_locked_) return;
    accuracy_locked_ = lock;
    if (lock) {
        accuracy_before_lock_ = refined_accuracy->isChecked();
        refined_accuracy->setChecked(true);
    } else {
        refined_accuracy->setChecked(accuracy_before_lock_);
    }
    refined_accuracy->setEnabled(!lock && !running_);
}

// The terms of the rules not chosen are greyed, captions and all.
void InPut::update_spending_controls() {
    const unsigned chosen = 1u << std::max(0, spending_rule->currentIndex());
    for (const SpendingTerm& term : spending_terms_)
        for (QWidget* w : term.widgets) w->setEnabled((term.rules & chosen) != 0);
}

// ---- Page 4 -------------------------------------------------------------

void InPut::in_put_Combo3_Click() { list_chosen(Combo3); }
void InPut::in_put_Combo5_Click() { list_chosen(Combo5); }
void InPut::in_put_Combo6_Click(int index) { list_chosen(Combo6[index]); }

// ---- Page 5 -------------------------------------------------------------

void InPut::in_put_stock_mean_Click() { list_chosen(stock_mean); }
void InPut::in_put_nomi_bond_mean_Click() { list_chosen(nomi_bond_mean); }
void InPut::in_put_real_bond_mean_Click() { list_chosen(real_bond_mean); }
void InPut::in_put_cash_mean_Click() { list_chosen(cash_mean); }
void InPut::in_put_estate_mean_Click() { list_chosen(estate_mean); }
void InPut::in_put_stock_dev_Click() { list_chosen(stock_dev); }
void InPut::in_put_nomi_bond_dev_Click() { list_chosen(nomi_bond_dev); }
void InPut::in_put_real_bond_dev_Click() { list_chosen(real_bond_dev); }
void InPut::in_put_estate_dev_Click() { list_chosen(estate_dev); }
void InPut::in_put_advisory_fee_Click() { list_chosen(advisory_fee); }

// ---- Pages, help, printing, exit ----------------------------------------

void InPut::update_page5_captions() {
    const bool usa = state_.market_country == 0;
    for (int k = 0; k < 5; ++k) {
        Label51[k]->setVisible(usa);
        Label51[k + 5]->setVisible(!usa);
    }
}

// Each allocation column's total as the lists show it, in red while it is
// not 100%, so that a column that does not add up is seen before Calculate.
void InPut::update_totals() {
    for (int col = 0; col < 2; ++col) {
        int percent = 0;
        for (int k = 0; k < 5; ++k) percent += std::max(0, Combo6[5 * col + k]->currentIndex());
        totals_[col]->setText(QStringLiteral("%1%").arg(percent));
        QPalette p = totals_[col]->palette();
        p.setColor(QPalette::WindowText,
                   percent == 100 ? palette().color(QPalette::WindowText) : QColor(200, 0, 0));
        totals_[col]->setPalette(p);
    }
}

int InPut::page_of_tab(int tab_index) {
    static constexpr int kPages[6] = {1, 2, 3, kHouseholdPage, 4, 5};
    return tab_index >= 0 && tab_index < 6 ? kPages[tab_index] : 1;
}

int InPut::tab_of_page(int page) {
    for (int tab = 0; tab < 6; ++tab)
        if (page_of_tab(tab) == page) return tab;
    return 0;
}

void InPut::in_put_TabStrip1_Click(int tab_index) {
    const int s = page_of_tab(tab_index);
    const int c = current_page_;
    if (c == 4) {
        if (s == c) return;
        compute_allocation_sums(state_);
        if (!allocation_is_complete(state_.weight_sum) ||
            !allocation_is_complete(state_.later_weight_sum)) {
            // The tab strip goes back to the allocation tab with its page,
            // before the message, so the message stands over that page.
            {
                const QSignalBlocker quiet(TabStrip1);
                TabStrip1->setCurrentIndex(tab_of_page(4));
            }
            platform_.show_message(this, kInputTitle, kPageAllocationMessage, MessageIcon::none);
            return;
        }
    }
    if (c == 5 || s == 5) update_page5_captions();
    if (s != c) current_page_ = s;
}

void InPut::show_page(int page) { TabStrip1->setCurrentIndex(tab_of_page(page)); }

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
    exit_after_run_ = false;
    if (!may_leave_case()) {
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

// Digits typed while a list is open move to the first item they begin, as
// typing does on the closed list: "7.3" reaches "7.30%" among 500 rates. Enter
// then picks it.
bool InPut::rate_typed(QComboBox* list, const QString& text) {
    if (text.isEmpty() || !(text[0].isDigit() || text[0] == '.' || text[0] == '%')) return false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - typed_at_ > QApplication::keyboardInputInterval()) typed_.clear();
    typed_at_ = now;
    typed_ += text;
    const int found = list->findText(typed_, Qt::MatchStartsWith);
    if (found >= 0) {
        const QModelIndex item = list->model()->index(found, list->modelColumn());
        list->view()->setCurrentIndex(item);
        list->view()->scrollTo(item, QAbstractItemView::PositionAtCenter);
    }
    return true;
}

// Enter in an amount box checks and commits it as leaving it would; the
// focus stays, in the box put right or in the refused one.
void InPut::amount_entered(int box) {
    if (checking_ || running_) return;
    check_amount(box);
}

bool InPut::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* press = static_cast<QKeyEvent*>(event);
        if (key_pressed(watched, *press)) return true;
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus (a message box, another program) is
        // not the user leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            leaving_reason_ = reason;
            box_left(watched);
            leaving_reason_ = Qt::OtherFocusReason;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Enter in an amount box commits it; digits typed into an open list move to
// the rate they begin. True when the press is used up.
bool InPut::key_pressed(QObject* watched, const QKeyEvent& press) {
    const int key = press.key();
    for (int box = 0; box < static_cast<int>(amounts_.size()); ++box) {
        if (watched == amounts_[box].edit && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            amount_entered(box);
            return true;
        }
    }
    for (QComboBox* list : findChildren<QComboBox*>()) {
        if (list->view() == watched) return rate_typed(list, press.text());
    }
    return false;
}

void InPut::box_left(QObject* watched) {
    std::size_t box = 0;
    while (box < amounts_.size() && watched != amounts_[box].edit) ++box;
    switch (box) {
        case kText10: in_put_Text10_LostFocus(); break;
        case kText11: in_put_Text11_LostFocus(); break;
        case kText1: in_put_Text1_LostFocus(); break;
        case kText3: in_put_Text3_LostFocus(); break;
        case kText4: in_put_Text4_LostFocus(); break;
        case kText5: in_put_Text5_LostFocus(); break;
        case kIndAnnuIncome: in_put_ind_annu_income_LostFocus(); break;
        case kText2: in_put_Text2_LostFocus(); break;
        case kSpousePensionCpi:
        case kSpendingFloor:
        case kSpendingCeiling:
            // A box without a handler of its own is checked the same way.
            if (box < amounts_.size()) amount_lost_focus(static_cast<int>(box));
            break;
    }
}

}  // namespace quorrel
