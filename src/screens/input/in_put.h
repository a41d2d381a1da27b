// The input screen: five pages of inputs, each control writing its field of
// AnalysisState the moment it is committed, the Go step, and "Calculate".
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "record/analysis_state.h"
#include "analysis/input_catalogue.h"
#include "record/results.h"
#include "screens/platform.h"

class QAction;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLayout;
class QMenu;
class QMenuBar;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QFrame;

namespace quorrel {

class HelpScreen;
class OutPut;

inline constexpr const char* kNotNumberMessage = "please input  a nonnegative number!!!!";
inline constexpr const char* kNegativeAmountMessage = "please input a nonnegative number !!!!";
// The running caption of the progress strip starts six pixels in from the
// strip's left edge and creeps two thirds of a pixel per 50 ms tick: slow
// enough to read while it moves, about 13 pixels a second. Counted in thirds
// of a pixel, so that the creep adds up exactly.
inline constexpr int kCaptionStartThirds = 18;
inline constexpr int kCaptionStepThirds = 2;
// The Household page's number; it stands as the fourth tab.
inline constexpr int kHouseholdPage = 6;
inline constexpr int kHouseholdHelpPage = 11;
inline constexpr const char* kHouseholdAccuracyNote =
    "A household is calculated at refined accuracy only.";
// Beside "Refined accuracy" while a spending rule other than fixed holds it.
inline constexpr const char* kPercentAccuracyNote =
    "The percent-of-wealth rule is calculated at refined accuracy only.";
inline constexpr const char* kGuardrailsAccuracyNote =
    "The guardrails rule is calculated by simulation only.";
inline constexpr const char* kPageAllocationMessage =
    "ERROR: The assest allocation must sum to 100%!!!";

// Frame k (0..6) of the progress animation, 140 x 90 pixels.
QPixmap progress_frame_image(int k);

class InPut final : public QWidget {
    Q_OBJECT
public:
    InPut(AnalysisState& state, Platform& platform, QWidget* parent = nullptr);
    ~InPut() override;

    // Window and buttons
    void in_put_Form_Load();
    void in_put_TabStrip1_Click(int tab_index);  // tab_index 0..4
    void in_put_Command1_Click();                // "Calculate"
    void in_put_Command2_Click();                // "Exit"
    void in_put_Command6_Click();                // "Go"
    void in_put_Timer1_Timer();
    void in_put_PrintScreen_Click();   // Command9 .. Command13
    void in_put_Help_Click(int page);  // page 1..5

    // The File menu
    void in_put_mnuNew_Click();
    void in_put_mnuOpen_Click();
    void in_put_mnuSave_Click();
    void in_put_mnuSaveAs_Click();
    void in_put_mnuRecent_Click(const QString& path);

    // Page 1
    void in_put_prob_1994_Click();
    void in_put_prob_iam2000_Click();
    void in_put_prob_rp2000_Click();
    void in_put_prob_proj_num_Click();
    void in_put_annu_1983_Click();
    void in_put_annu_iam2000_Click();
    void in_put_annu_proj_num_Click();
    // Page 2
    void in_put_Combo4_Click(int index);
    // Page 3
    void in_put_ind_current_age_Click();
    void in_put_ind_sex_Click();
    void in_put_Combo1_Click(int index);
    // The Household page
    void in_put_spouse_current_age_Click();
    void in_put_Combo2_Click(int index);
    void in_put_Text10_LostFocus();
    void in_put_Text11_LostFocus();
    void in_put_Text1_LostFocus();
    void in_put_Text3_LostFocus();
    void in_put_Text4_LostFocus();
    void in_put_Text5_LostFocus();
    void in_put_ind_annu_income_LostFocus();
    void in_put_Text2_LostFocus();
    // Page 4
    void in_put_Combo3_Click();
    void in_put_Combo5_Click();
    void in_put_Combo6_Click(int index);
    // Page 5
    void in_put_stock_mean_Click();
    void in_put_nomi_bond_mean_Click();
    void in_put_real_bond_mean_Click();
    void in_put_cash_mean_Click();
    void in_put_estate_mean_Click();
    void in_put_stock_dev_Click();
    void in_put_nomi_bond_dev_Click();
    void in_put_real_bond_dev_Click();
    void in_put_estate_dev_Click();
    void in_put_advisory_fee_Click();

    // The page now shown: 1..5 the pages of the person's inputs and
    // assumptions, kHouseholdPage the Household page, which stands as the
    // fourth tab, right after the Individual Information page.
    int current_page() const { return current_page_; }
    static int page_of_tab(int tab_index);
    static int tab_of_page(int page);
    // A spouse is given, or a spending rule other than fixed: "Refined
    // accuracy" is ticked and locked.
    bool accuracy_locked() const { return accuracy_locked_; }
    bool calculation_running() const { return running_; }
    // The shaded boxes of page 3 show figures of inputs that have changed since.
    bool figures_stale() const { return figures_stale_; }
    // The figures of the last calculation that reached the results screen.
    const ResultsRecord& last_results() const { return results_record_; }
    // The results screen of the last calculation while it is open.
    OutPut* results_screen() const;
    HelpScreen* help_screen(int page) const;
    // Help > About Quorrel: the version, the licence and the credits.
    void in_put_mnuAbout_Click();
    // The case file the inputs were last opened from or saved to (empty for
    // a new case), and whether the inputs now differ from it.
    QString case_path() const { return case_path_; }
    bool inputs_modified() const { return modified_; }
    // Opens a case file as a person's choices would; false, with the file's
    // message shown and nothing changed, when it cannot be read.
    bool open_case(const QString& path);
    // The recent cases, newest first, as the File menu lists them.
    static QStringList recent_cases();

signals:
    // "Exit" (or closing the window): the program ends.
    void exit_requested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Hooks;
    friend class Hooks;

    // An amount box of page 3 and the field it feeds.
    struct AmountBox {
        QLineEdit* edit = nullptr;
        double AnalysisState::*field = nullptr;
        QString accepted_text;  // the text last accepted and shown
        std::size_t row = 0;    // its input in the catalogue
        int page = 3;           // the page it stands on
    };
    // The controls of one input of the catalogue: its list (two for the
    // COLA and AIR pairs), its option buttons by position, or its amount box.
    struct InputControls {
        std::vector<QComboBox*> lists;
        std::vector<QRadioButton*> options;
        int amount = -1;
    };
    enum AmountIndex {
        kText10,
        kText11,
        kText1,
        kText3,
        kText4,
        kText5,
        kIndAnnuIncome,
        kText2,
        kSpousePensionCpi,
        kSpendingFloor,
        kSpendingCeiling,
        kAmountCount
    };

    void build_ui();
    QWidget* build_page1();
    QWidget* build_page2();
    QWidget* build_page3();
    QLayout* build_page3_person(QWidget* page);
    QLayout* build_page3_incomes(QWidget* page);
    QLayout* build_page3_figures(QWidget* page);
    QWidget* build_household_page();
    QWidget* build_spending_group(QWidget* page);
    QWidget* build_survivor_group(QWidget* page);
    void create_spending_controls(QWidget* group);
    QWidget* build_page4();
    QWidget* build_page5();
    void build_progress();
    // The tab strip and its pages; the accuracy tick box and its notes.
    void build_tabs();
    void build_accuracy_choice();
    void style_controls();
    bool rate_typed(QComboBox* list, const QString& text);
    bool key_pressed(QObject* watched, const QKeyEvent& press);
    void box_left(QObject* watched);
    void connect_handlers();
    void bind_inputs();
    void name_controls();
    void bind_amount(int box, QLineEdit* edit, const char* key);
    void fill_lists();
    void select_default(std::size_t row);
    void list_chosen(QComboBox* list);
    void option_chosen(const char* key, int position);
    void market_chosen(int country);
    void input_changed();
    void update_accuracy_lock();
    void update_spending_controls();

    // Case files
    void build_menu();
    void fill_recent_menu();
    void remember_recent(const QString& path);
    void forget_recent(const QString& path);
    void select_values(const InputValues& values);
    void select_list(QComboBox* list, int index);
    void select_option(std::size_t row, int position);
    bool save_case_as();
    bool write_case(const QString& path);
    void case_now(const QString& path, const QString& name, const InputValues& values);
    void update_modified();
    void update_title();
    bool may_leave_case();

    bool check_amount(int box);
    void accept_amount(int box, double value);
    void amount_lost_focus(int box);
    void amount_entered(int box);
    bool amounts_ready(QPushButton* button);
    void select_index(QComboBox* list, int index);
    void update_page5_captions();
    void update_totals();
    void set_figures_stale(bool stale);
    void show_page(int page);

    bool run_go_step();
    void progress_start();
    void progress_stop();
    void set_inputs_enabled(bool on);
    void open_results(const ResultsRecord& results);
    void results_returned();
    void finish_exit();

    AnalysisState& state_;
    Platform& platform_;
    int current_page_ = 1;
    bool running_ = false;
    bool exit_after_run_ = false;
    bool checking_ = false;  // a check's message or refocus is under way
    // The box refused while the focus moved to this button: that click is
    // void and its message has been shown already.
    QPushButton* refused_for_button_ = nullptr;
    int refused_box_for_button_ = -1;
    Qt::FocusReason leaving_reason_ = Qt::OtherFocusReason;  // of the box being left
    int caption_thirds_ = kCaptionStartThirds;               // the running caption's left edge
    bool bulk_selection_ = false;  // opening or resetting a case: one update at the end
    bool figures_stale_ = false;   // the shaded boxes show figures of earlier inputs
    QString typed_;                // digits typed into an open list, while typing goes on
    qint64 typed_at_ = 0;          // when the last of them was typed, in ms

    QString case_path_;
    QString case_name_;
    InputValues saved_values_;  // the inputs as the case file holds them
    bool modified_ = false;

    std::array<AmountBox, kAmountCount> amounts_{};
    std::vector<InputControls> controls_;  // by catalogue row
    ResultsRecord results_record_;
    QPointer<OutPut> results_;
    std::array<QPointer<HelpScreen>, 11> helps_{};  // by help page 1..11
    std::array<QPixmap, 7> frames_{};

    QTabWidget* TabStrip1 = nullptr;
    std::array<QWidget*, 6> Frame1{};  // by page 1..6
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command6 = nullptr;
    QCheckBox* refined_accuracy = nullptr;    // beside "Calculate": which scheme it runs
    QPointer<QWidget> focus_before_results_;  // given back on "Return"
    // Under the buttons, after "What if" ticked "Refined accuracy" for its amount.
    QLabel* accuracy_note_ = nullptr;
    // Beside "Refined accuracy" while a spouse locks it; the person's own
    // choice, given back when the spouse is removed.
    QLabel* household_accuracy_note_ = nullptr;
    // The same for a spending rule other than fixed, naming the rule's scheme.
    QLabel* spending_accuracy_note_ = nullptr;
    bool accuracy_locked_ = false;
    bool accuracy_before_lock_ = false;
    QMenuBar* menu_bar_ = nullptr;
    QMenu* recent_menu_ = nullptr;
    QFrame* Picture1 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Picture2 = nullptr;
    QTimer* Timer1 = nullptr;

    QRadioButton* prob_1994 = nullptr;
    QRadioButton* prob_iam2000 = nullptr;
    QRadioButton* prob_rp2000 = nullptr;
    QRadioButton* annu_1983 = nullptr;
    QRadioButton* annu_iam2000 = nullptr;
    QComboBox* prob_proj_num = nullptr;
    QComboBox* annu_proj_num = nullptr;
    std::array<QComboBox*, 12> Combo4{};
    QComboBox* ind_current_age = nullptr;
    QComboBox* ind_sex = nullptr;
    std::array<QComboBox*, 2> Combo1{};
    std::array<QComboBox*, 2> Combo2{};
    std::array<QLineEdit*, 5> shaded_{};  // Text6, Text7, Text8, Text9, ind_invest_wealth
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo5 = nullptr;
    std::array<QComboBox*, 10> Combo6{};
    std::array<QLabel*, 2> totals_{};  // the "Total:" row: today, later
    std::array<QLabel*, 10> Label50{};
    std::array<QLabel*, 10> Label51{};
    QLabel* Label34 = nullptr;
    QComboBox* stock_mean = nullptr;
    QComboBox* nomi_bond_mean = nullptr;
    QComboBox* real_bond_mean = nullptr;
    QComboBox* cash_mean = nullptr;
    QComboBox* estate_mean = nullptr;
    QComboBox* stock_dev = nullptr;
    QComboBox* nomi_bond_dev = nullptr;
    QComboBox* real_bond_dev = nullptr;
    QComboBox* estate_dev = nullptr;
    QComboBox* advisory_fee = nullptr;
    // The Household page
    QComboBox* spouse_current_age = nullptr;
    QComboBox* spouse_sex = nullptr;
    QComboBox* survivor_spending = nullptr;
    QComboBox* survivor_share = nullptr;
    // The spending rule and its terms; each term's caption and control are
    // enabled only under the rules it belongs to (bit 1 << rule).
    QComboBox* spending_rule = nullptr;
    QComboBox* spending_rate = nullptr;
    QComboBox* guardrail_upper = nullptr;
    QComboBox* guardrail_lower = nullptr;
    QComboBox* spending_cut = nullptr;
    QComboBox* spending_raise = nullptr;
    struct SpendingTerm {
        std::vector<QWidget*> widgets;
        unsigned rules = 0;
    };
    std::vector<SpendingTerm> spending_terms_;
};

}  // namespace quorrel
