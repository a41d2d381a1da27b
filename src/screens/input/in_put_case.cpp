// Case files on the input screen: the File menu, opening a case through the
// same handlers a person's choices run, saving it whole or not at all, the
// recent cases, and the window title that says whether the inputs are saved.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSaveFile>
#include <QSettings>

#include "analysis/case_file.h"
#include "record/number_format.h"
#include "analysis/pipeline.h"
#include "screens/front/help_screen.h"
#include "screens/screen_common.h"
#include "screens/input/in_put.h"

namespace quorrel {
namespace {

constexpr const char* kCaseFilter = "Quorrel cases (*.json);;All files (*)";
constexpr const char* kRecentKey = "recent_cases";
constexpr int kRecentCount = 6;

// Kept under the program's own name, whatever the binary is called.

QString name_of_path(const QString& path) {
    return QString::fromStdString(case_name_of_path(path.toStdString()));
}

}  // namespace

QStringList InPut::recent_cases() {
    const QSettings settings(kSettingsOwner, kSettingsName);
    return settings.value(kRecentKey).toStringList();
}

void InPut::remember_recent(const QString& path) {
    QSettings settings(kSettingsOwner, kSettingsName);
    QStringList recent = settings.value(kRecentKey).toStringList();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > kRecentCount) recent.removeLast();
    settings.setValue(kRecentKey, recent);
}

void InPut::forget_recent(const QString& path) {
    QSettings settings(kSettingsOwner, kSettingsName);
    QStringList recent = settings.value(kRecentKey).toStringList();
    recent.removeAll(QFileInfo(path).absoluteFilePath());
    settings.setValue(kRecentKey, recent);
}

void InPut::build_menu() {
    menu_bar_ = new QMenuBar(this);
    menu_bar_->setObjectName("menu_bar");
    QMenu* file = menu_bar_->addMenu("&File");
    file->setObjectName("mnuFile");
    const auto item = [this, file](const char* text, const char* name,
                                   QKeySequence::StandardKey key, const char* fallback,
                                   void (InPut::*handler)()) {
        QAction* action = file->addAction(text);
        action->setObjectName(name);
        // The desktop's own keys; where its scheme has none (Save As and Quit
        // on some), the keys most desktops use.
        const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
        action->setShortcuts(keys.isEmpty() ? QList<QKeySequence>{QKeySequence(fallback)} : keys);
        // Also while the menu bar is not open, from anywhere in the window.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    item("&New", "mnuNew", QKeySequence::New, "Ctrl+N", &InPut::in_put_mnuNew_Click);
    item("&Open...", "mnuOpen", QKeySequence::Open, "Ctrl+O", &InPut::in_put_mnuOpen_Click);
    item("&Save", "mnuSave", QKeySequence::Save, "Ctrl+S", &InPut::in_put_mnuSave_Click);
    item("Save &As...", "mnuSaveAs", QKeySequence::SaveAs, "Ctrl+Shift+S",
         &InPut::in_put_mnuSaveAs_Click);
    file->addSeparator();
    recent_menu_ = file->addMenu("&Recent Cases");
    recent_menu_->setObjectName("mnuRecent");
    connect(file, &QMenu::aboutToShow, this, &InPut::fill_recent_menu);
    file->addSeparator();
    item("E&xit", "mnuExit", QKeySequence::Quit, "Ctrl+Q", &InPut::in_put_Command2_Click);

    // Help: every help page, then the About box.
    QMenu* help = menu_bar_->addMenu("He&lp");  // Alt+H is the pages' Help button
    help->setObjectName("mnuHelp");
    for (int page = 1; page <= kHelpPages; ++page) {
        if (page == 6) help->addSeparator();
        QString caption = help_caption(page);
        caption.chop(QString(" Help").size());
        QAction* action = help->addAction(caption + "...");
        action->setObjectName(QStringLiteral("mnuHelp(%1)").arg(page));
        connect(action, &QAction::triggered, this, [this, page] { in_put_Help_Click(page); });
    }
    help->addSeparator();
    QAction* about = help->addAction("&About Quorrel...");
    about->setObjectName("mnuAbout");
    connect(about, &QAction::triggered, this, &InPut::in_put_mnuAbout_Click);
    layout()->setMenuBar(menu_bar_);
    fill_recent_menu();
}

void InPut::in_put_mnuAbout_Click() {
    platform_.show_message(this, "About Quorrel", about_text(), MessageIcon::none);
}

void InPut::fill_recent_menu() {
    recent_menu_->clear();
    const QStringList recent = recent_cases();
    for (int k = 0; k < recent.size(); ++k) {
        const QString& path = recent[k];
        QAction* action = recent_menu_->addAction(
            QStringLiteral("&%1 %2").arg(k + 1).arg(QFileInfo(path).fileName()));
        action->setObjectName(QStringLiteral("mnuRecent(%1)").arg(k));
        action->setToolTip(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, path] { in_put_mnuRecent_Click(path); });
    }
    recent_menu_->setEnabled(!recent.isEmpty());
}

// ---- Selecting a whole set of inputs --------------------------------------

// A list shows the item; when it shows it already, its handler runs all the
// same, so that the record holds exactly what the list shows.
void InPut::select_list(QComboBox* list, int index) {
    if (list->currentIndex() == index)
        list_chosen(list);
    else
        select_index(list, index);
}

void InPut::select_option(std::size_t row, int position) {
    QRadioButton* option = controls_[row].options.at(static_cast<std::size_t>(position));
    if (option->isChecked())
        option_chosen(input_catalogue()[row].key, position);
    else
        option->setChecked(true);
}

// Every input through its control, in the catalogue's order: the market
// before the assumptions it presets, so that the case's own assumptions win.
void InPut::select_values(const InputValues& values) {
    bulk_selection_ = true;
    for (std::size_t r = 0; r < controls_.size(); ++r) {
        const InputControls& c = controls_[r];
        const InputValue v = values.at(r);
        if (!c.lists.empty())
            select_list(c.lists.front(), v.index);
        else if (!c.options.empty())
            select_option(r, v.index);
        else if (c.amount >= 0)
            accept_amount(c.amount, v.amount);
        else
            // An input this screen shows no control for is kept in the
            // record as the case holds it.
            write_input(state_, input_catalogue()[r], v);
    }
    bulk_selection_ = false;
}

// The inputs now are those of the case at `path` (empty: a new case).
void InPut::case_now(const QString& path, const QString& name, const InputValues& values) {
    case_path_ = path;
    case_name_ = name;
    saved_values_ = values;
    if (!path.isEmpty()) remember_recent(path);
    update_modified();
}

bool InPut::open_case(const QString& path) {
    const CaseReadResult c = read_case_file(path.toStdString());
    if (!c.ok()) {
        platform_.show_message(this, kInputTitle,
                               QString::fromStdString(c.error) + "\nThe inputs are as they were.",
                               MessageIcon::critical);
        return false;
    }
    select_values(c.values);
    input_changed();
    case_now(path, c.name.empty() ? name_of_path(path) : QString::fromStdString(c.name),
             case_values(state_).values);
    // The shaded boxes show the figures of the case just opened.
    run_go_step();
    // A file saved before some input existed opens with that input's default:
    // say which, so the person can check them before calculating.
    if (!c.defaulted.empty())
        platform_.show_message(this, kInputTitle,
                               QString::fromStdString(defaulted_inputs_note(c)) + '.',
                               MessageIcon::none);
    return true;
}

// ---- Saving ----------------------------------------------------------------

// The case file is replaced whole or not at all: a failed write leaves the
// previous file as it was.
bool InPut::write_case(const QString& path) {
    if (!amounts_ready(nullptr)) return false;
    const CaseValuesResult v = case_values(state_);
    if (!v.error.empty()) {
        platform_.show_message(this, kInputTitle,
                               "The case cannot be saved: " + QString::fromStdString(v.error) + ".",
                               MessageIcon::critical);
        return false;
    }
    const QString name =
        path == case_path_ && !case_name_.isEmpty() ? case_name_ : name_of_path(path);
    const std::string text = case_text(v.values, name.toStdString());
    QSaveFile file(path);
    // Unbuffered, and each step checked: a failure met only when the last
    // bytes reach the disk must not be committed over the previous file
    // (a buffered QSaveFile commits a short file when only its final flush fails).
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                   file.write(text.data(), static_cast<qint64>(text.size())) ==
                       static_cast<qint64>(text.size()) &&
                   file.flush() && file.error() == QFileDevice::NoError;
    if (!written) file.cancelWriting();
    written = written && file.commit();
    if (!written) {
        platform_.show_message(this, kInputTitle,
                               "The case could not be saved to " + path + ": " +
                                   file.errorString() +
                                   ".\nA file saved there before is kept as it was.",
                               MessageIcon::critical);
        return false;
    }
    case_now(path, name, v.values);
    return true;
}

bool InPut::save_case_as() {
    const QString initial = case_path_.isEmpty() ? QStringLiteral("case.json") : case_path_;
    const QString path = platform_.replace_file_name(this, initial, kCaseFilter, "json");
    return !path.isEmpty() && write_case(path);
}

// ---- Leaving a case ---------------------------------------------------------

// Before the inputs are replaced or the program ends: unsaved changes are
// saved, dropped, or the step is not taken.
bool InPut::may_leave_case() {
    if (!modified_) return true;
    const QString text = case_name_.isEmpty()
                             ? QStringLiteral(
                                   "The inputs have changed and are not saved in a case file.\n"
                                   "Do you want to save them?")
                             : QStringLiteral(
                                   "The inputs have changed since \"%1\" was saved.\n"
                                   "Do you want to save the changes?")
                                   .arg(case_name_);
    switch (platform_.ask_save_changes(this, kInputTitle, text)) {
        case SaveChoice::save:
            return case_path_.isEmpty() ? save_case_as() : write_case(case_path_);
        case SaveChoice::discard: return true;
        case SaveChoice::cancel: return false;
    }
    return false;
}

void InPut::update_modified() {
    const CaseValuesResult now = case_values(state_);
    modified_ = !now.error.empty() || now.values != saved_values_;
    update_title();
}

// "Quorrel - name[*] - Input Individual Information"; a new case has no
// name, and its title gains the mark only while it has changes.
void InPut::update_title() {
    QString title = kInputTitle;
    if (!case_name_.isEmpty())
        title = case_name_ + "[*] - " + title;
    else if (modified_)
        title += "[*]";
    title = QString(kProgramName) + " - " + title;
    setWindowTitle(title);
    setWindowModified(modified_);
}

// ---- The menu's commands -----------------------------------------------------

void InPut::in_put_mnuNew_Click() {
    if (running_ || !may_leave_case()) return;
    const InputValues defaults = default_input_values();
    select_values(defaults);
    input_changed();
    case_now({}, {}, case_values(state_).values);
    run_go_step();
}

void InPut::in_put_mnuOpen_Click() {
    if (running_ || !may_leave_case()) return;
    const QString path = platform_.open_file_name(this, kCaseFilter);
    if (!path.isEmpty()) open_case(path);
}

void InPut::in_put_mnuRecent_Click(const QString& path) {
    if (running_ || !may_leave_case()) return;
    if (!open_case(path) && !QFileInfo::exists(path)) forget_recent(path);
}

void InPut::in_put_mnuSave_Click() {
    if (running_) return;
    if (case_path_.isEmpty())
        save_case_as();
    else
        write_case(case_path_);
}

void InPut::in_put_mnuSaveAs_Click() {
    if (!running_) save_case_as();
}

}  // namespace quorrel
