#include "screens/front/help_screen.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorrel {
namespace {

const char* const kCaptions[kHelpPages] = {
    "Mortality Tables Help",
    "Annuity Valuation Rates Help",
    "Individual Information Help",
    "Investment and Portfolio Asset Allocation Help",
    "Financial Economic Assumptions Help",
    "Refined Accuracy Help",
    "Check by Simulation Help",
    "Compare Cases Help",
    "What If Help",
    "Case Files Help",
    "Household Help",
};

// Each text starts with four blanks and breaks its lines by hand, so that it
// reads the same at any window width.
const char* const kTexts[kHelpPages] = {
    // 1: mortality tables
    "    In this panel, select the mortality table that is to be used as the basis for the "
    "calculations in the program.\n"
    "\n"
    "Two separate choices are made. The annuity factors, that is the price of every\n"
    "life annuity bought on the Individual Information page, are based on either the\n"
    "GAM 1983 (PBGC) table or the IAM 2000 Basic table, both tables of people who buy\n"
    "annuities. The probability of ruin over the remaining lifetime, and the survival\n"
    "figures on the results screen, are based on the UP 1994, the IAM 2000 Basic or\n"
    "the RP2000 table.\n"
    "\n"
    "For each choice you may also pick a number of years of mortality projection.\n"
    "A projection allows for people living longer in future years than the table\n"
    "shows; each projected year moves the table's modal age of death a little later.\n"
    "Zero years of projection means that the static table is used as published.\n",

    // 2: yield curves
    "    This program prices immediate life annuities based on the mortality tables\n"
    "chosen on the first page and on the interest rates of this page.\n"
    "\n"
    "Two interest rate curves (term structures) are used for pricing. The nominal\n"
    "curve prices annuities whose payments are fixed in money or rise by a fixed cost\n"
    "of living adjustment. The real curve, which is after inflation, prices annuities\n"
    "whose payments are linked to the consumer price index. The real curve is\n"
    "normally lower, and flatter, than the nominal curve.\n"
    "\n"
    "Each curve has six breakpoints: the rate you choose for a period is taken to be\n"
    "constant over that whole 5-year period, and the last rate applies to every year\n"
    "after 25 years.\n"
    "\n"
    "The program starts with a flat nominal curve of 5% and a flat real curve of 3%.\n"
    "For recent market rates, see the published interest rate tables on the web site\n"
    "of your public pension agency.\n",

    // 3: individual information
    "    In this panel you should input your current age and gender as well as your liquid\n"
    "retirement wealth, that is the savings and investments available for retirement.\n"
    "\n"
    "The Real Target Income (RTI) is the income, in today's money, that you would like\n"
    "to receive every year for the rest of your life.\n"
    "\n"
    "Under Current Pension Income enter the yearly income you already receive from\n"
    "pensions of three kinds: a nominal pension, which may rise each year by a cost\n"
    "of living adjustment (COLA); a pension linked to the consumer price index (CPI);\n"
    "and a variable annuity, whose payments follow its investments relative to its\n"
    "Assumed Investment Return (AIR).\n"
    "\n"
    "Under Allocation to Purchase of Annuities enter how much of your liquid wealth\n"
    "you would spend today on new payout annuities of each of the same three kinds.\n"
    "\n"
    "Press the GO button to see the annual income these purchases acquire. What the\n"
    "pensions and annuities do not cover of the target income is the net consumption\n"
    "deficit. It must be financed from the net investable wealth (NIW), the wealth\n"
    "left after the purchases, by a systematic withdrawal plan (SWiP).\n",

    // 4: asset allocation
    "    In this panel you are asked to input the investment asset allocation of your\n"
    "net investable wealth and of any variable payout annuity.\n"
    "\n"
    "The program knows five asset classes: equity (stocks), nominal return bonds, real\n"
    "return bonds, cash or money market, and real estate. Map what you hold, for\n"
    "example a balanced fund, onto these five classes as closely as you can. Each\n"
    "column must add up to 100%.\n"
    "\n"
    "The second column lets you plan one change of the allocation: choose after how\n"
    "many years it takes effect, and the allocation that holds from then on. The\n"
    "change is made once only.\n"
    "\n"
    "The market selector at the top chooses the U.S.A or the Canadian capital market\n"
    "assumptions shown on the next page.\n",

    // 5: capital market assumptions
    "    This panel displays the default expected return and standard deviation of each\n"
    "of the five asset classes, after inflation.\n"
    "\n"
    "The defaults are long-term historical figures, after inflation, taken from a\n"
    "published source for the market chosen on the previous page. You may change any\n"
    "of them to reflect your own view of the future. The correlations between the\n"
    "asset classes, however, are fixed in the program and cannot be changed here.\n"
    "\n"
    "All asset returns are assumed to be jointly log-normally distributed.\n"
    "\n"
    "The Advisory Fee is what you pay each year for advice and management, as a\n"
    "percent of the invested portfolio (0% to 3%). It is charged on the invested\n"
    "portfolio only: it lowers the portfolio's expected real return by the fee, with\n"
    "today's allocation and with the later one alike, and the expected returns the\n"
    "program shows for the portfolio are after it. It is not charged on annuities:\n"
    "their income, a variable annuity's too, is the same with or without a fee.\n",

    // 6: refined accuracy
    "    \"Calculate\" normally uses the standard scheme: quick, but its figures may be\n"
    "off by a few tenths of a percentage point, and in some cases by more.\n"
    "\n"
    "Tick \"Refined accuracy\" beside \"Calculate\" for converged figures: every figure\n"
    "is then calculated on finer grids whose results are combined, and each comes\n"
    "with an estimate of its remaining error. On the results screen that estimate is\n"
    "in each cell's tooltip (\u00b1, in percentage points for a probability), and the\n"
    "PDF report prints it in a table of its own. A refined calculation takes longer.\n"
    "\n"
    "The line under the results says which scheme made the figures, and the box\n"
    "keeps your choice from one session to the next. An amount found by \"What if\"\n"
    "was found with the refined scheme, so using it ticks the box for you.\n",

    // 7: check by simulation
    "    \"Check by simulation\" on the results screen simulates the same wealth process\n"
    "many times (200,000 paths) and shows, under each figure, the simulated figure\n"
    "with one standard error (\u00b1). It runs in the background; Cancel stops it.\n"
    "\n"
    "The simulation is an independent check of the calculation. Standard figures\n"
    "may differ from it by more than its standard error. A refined figure that lies\n"
    "farther from its simulated figure than three standard errors plus its own error\n"
    "estimate is marked, with a note under the table.\n",

    // 8: compare cases
    "    \"Compare...\" on the results screen sets the case on screen beside one to three\n"
    "saved case files. Each of them is calculated at the accuracy of the figures on\n"
    "screen, standard or refined (a household's always refined), in the background\n"
    "behind a progress window; Cancel stops it. The window names that accuracy.\n"
    "\n"
    "The comparison lists the inputs in which the cases differ, then every figure\n"
    "of the four result pages, each with its difference to the case on screen. It\n"
    "can be printed or exported as a CSV file for a spreadsheet.\n",

    // 9: what if
    "    \"What if\" on the results screen answers two questions with the refined\n"
    "scheme.\n"
    "\n"
    "How much can I spend? Choose a lifetime ruin probability and solve for the\n"
    "largest target income, or the smallest liquid wealth, that keeps to it. \"Use in\n"
    "the input screen\" puts the amount into its box, ticks \"Refined accuracy\" and\n"
    "returns to the inputs, so that Calculate shows the figure the solve found.\n"
    "\n"
    "How much should I annuitize? The sweep recalculates the case for each share of\n"
    "the liquid wealth, from 0% to 100% in steps of 5%, spent on one kind of annuity,\n"
    "and charts the lifetime ruin probability and the median estate against it.\n",

    // 10: case files
    "    A case is the whole set of inputs. The File menu of the input screen saves it\n"
    "in a case file (.json) and opens it again: New, Open..., Save, Save As... and\n"
    "the recent cases. The window title names the case; a mark after the name shows\n"
    "changes not yet saved, and the program asks before they are lost.\n"
    "\n"
    "Start the program with a case file's name (quorrel FILE) to open it at once.\n"
    "The command-line program quorrel-cli reads the same files.\n"
    "\n"
    "Results are saved from the results screen: \"Save Results\" adds a text report\n"
    "to the end of a file, \"Export PDF...\" writes a full report. Every file dialog\n"
    "starts in the folder last used and proposes a name from the case and the date.\n",

    // 11: household
    "    On this page you may add a spouse or partner, making the analysis one of a\n"
    "household of two lives. Leave the spouse's age at \"None\" for one person alone.\n"
    "\n"
    "The spouse's age and gender pick the spouse's row of the ruin mortality table;\n"
    "the two deaths are taken to be independent. The money lasts as long as the\n"
    "household: the figures follow it until the second death.\n"
    "\n"
    "While both of you are alive the household spends the real target income. Once\n"
    "one has died, the survivor spends the survivor spending, a percentage of that\n"
    "target. Your pensions are paid in full while you live and at the survivor\n"
    "share to your spouse after your death; the spouse's CPI-linked pension is paid\n"
    "in full while the spouse lives and at the survivor share to you afterwards.\n"
    "Annuities bought become joint-and-survivor annuities: paid in full while both\n"
    "live and at the survivor share while one survives, priced on both lives.\n"
    "\n"
    "A household is calculated at refined accuracy only, so entering a spouse ticks\n"
    "\"Refined accuracy\" and holds it ticked until the spouse is removed.\n"
    "\n"
    "On the results screen every figure within 10, 20 and 30 years counts only the\n"
    "households with someone still alive then. The lifetime figures are split: the\n"
    "chance that the money runs out while both were alive, and while a survivor\n"
    "lived. The expected ruin age is not shown for a household. The survival chart\n"
    "shows you, your spouse, both and at least one of you alive; the mortality page\n"
    "gives your age at the later of the two deaths, expected and 90th percentile;\n"
    "its age axis runs until the younger of you would be 110.\n"
    "\n"
    "\"What if\", \"Compare...\" and \"Check by simulation\" work for a household too.\n"
    "What if solves for the household's lifetime ruin, before the second death.\n"
    "A household compared with other cases is calculated at refined accuracy, and\n"
    "the comparison adds the split lifetime figures and the later death. The\n"
    "simulation draws both deaths on every path and shows the split lifetime\n"
    "figures, each with its standard error.\n"
    "\n"
    "Spending. The rule says how much is spent each year:\n"
    "  Fixed real income: the real target income every year, as long as the money\n"
    "  lasts.\n"
    "  Percent of wealth: the spending rate times the wealth each year, never below\n"
    "  the floor nor above the ceiling.\n"
    "  Guardrails: the target income at first; at each yearly review, when the\n"
    "  withdrawal rate (spending over wealth) is above the first year's by more than\n"
    "  the upper guardrail, spending is cut by the cut; when it is below by more than\n"
    "  the lower guardrail, spending is raised by the raise; never below the floor\n"
    "  nor above the ceiling.\n"
    "Floor and ceiling are real amounts a year; 0 stands for 75% and 150% of the\n"
    "real target income, following it when the target changes. The terms of a rule\n"
    "not chosen are greyed. Whatever the rule, once the money has run out only the\n"
    "pensions and annuities are spent.\n"
    "\n"
    "Spending that follows wealth is calculated at refined accuracy only, and the\n"
    "guardrails rule, whose spending depends on each path of returns, by simulating\n"
    "100,000 paths; choosing either ticks \"Refined accuracy\" and holds it. A\n"
    "household is calculated with the fixed rule only. The results screen's\n"
    "Spending page shows the spending's percentiles after 10, 20 and 30 years in\n"
    "today's money and how often spending is down at the floor.\n",
};

}  // namespace

QString help_caption(int page) {
    return QString::fromUtf8(kCaptions[std::clamp(page, 1, kHelpPages) - 1]);
}
QString help_text(int page) {
    return QString::fromUtf8(kTexts[std::clamp(page, 1, kHelpPages) - 1]);
}

HelpScreen::HelpScreen(int page, QWidget* parent) : QWidget(parent, Qt::Window), page_(page) {
    setObjectName(QStringLiteral("help%1").arg(page));
    setWindowTitle(help_caption(page));
    setAttribute(Qt::WA_DeleteOnClose);

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName("Text1");
    Text1->setReadOnly(true);
    Text1->setPlainText(help_text(page));
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A plain text panel rather than an edit box.
    QPalette p = Text1->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    Text1->setPalette(p);
    Text1->setFrameShape(QFrame::NoFrame);

    Command1 = new QPushButton("Return", this);
    Command1->setObjectName("Command1");
    QFont f = Command1->font();
    f.setBold(true);
    Command1->setFont(f);
    Command1->setMinimumWidth(100);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &HelpScreen::help_Command1_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addStretch(1);
    auto* v = new QVBoxLayout(this);
    v->addWidget(Text1, 1);
    v->addLayout(buttons);

    const QFontMetrics fm(Text1->font());
    const int lines = static_cast<int>(help_text(page).count(QLatin1Char('\n'))) + 2;
    resize(fm.horizontalAdvance(QString(84, QLatin1Char('n'))) + 40,
           fm.lineSpacing() * std::max(lines, 12) + Command1->sizeHint().height() + 50);
    Command1->setFocus();
}

void HelpScreen::help_Command1_Click() { close(); }

void HelpScreen::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        help_Command1_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace quorrel
