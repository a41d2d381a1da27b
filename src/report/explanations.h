// The explanatory texts under the tables and charts of the results screen.
#pragma once

namespace quorrel::explanations {

inline constexpr const char* kProbability =
    "    What is the probability that your net investable wealth (NIW) -- from which you "
    "are financing your retirement consumption -- falls to a given fraction of its "
    "initial value? The four rows of the table are the levels 0% (the money is gone), "
    "10 %, 25 % and 50 % of today's NIW. The first three columns give the probability "
    "that your NIW reaches that level within the next 10, 20 or 30 years, ignoring the "
    "chance of death before then; the Lifetime column gives the probability that it "
    "reaches the level at any time during your remaining life, taking into account the "
    "mortality table you selected. The figures allow for your real target income, your "
    "pension and annuity income and the expected return and volatility of your asset "
    "allocation. A small number indicates a high probability that your consumption "
    "strategy is sustainable. "
    "A large number indicates a low probability that your consumption strategy is sustainable.";

inline constexpr const char* kWealth =
    " The above table provides a statistical range for the net investable wealth (NIW) process "
    "10, 20 and 30 years from now, assuming you are still alive then. Each figure is a "
    "multiple of today's NIW, shown beside the table, and is in real terms (today's "
    "dollars). The Bad (25%) column is the level your wealth falls below with a "
    "probability of 25%, the Median column the level it is equally likely to end above "
    "or below, and the Good (75%) column the level it falls below with a probability of "
    "75%, so that it ends higher in one case out of four. A figure of 0.00 means that "
    "in that case your NIW is likely to be exhausted by then.";

inline constexpr const char* kConsumption =
    "The above graph displays the amount of income you can expect to be receiving at "
    "various points - specified as a multiple of your consumption target -- assuming you "
    "survive to the given age.";

inline constexpr const char* kMortality =
    " The above graph displays the probability of surviving to any given age based on the "
    "mortality table selected, as well as the age at which ruin is expected to occur.";
// A household's chart has no ruin age: its spending cannot ignore death.
inline constexpr const char* kHouseholdMortality =
    " The above graph displays the probability that you, your spouse, both of you and at least "
    "one of you are alive at each of your ages, based on the mortality table selected.";

inline constexpr const char* kSpending =
    " The above graph and table show what you can expect to spend each year 10, 20 and 30 "
    "years from now under the spending rule you chose, in today's dollars, assuming you are "
    "still alive then. The shaded band runs from the 25% figure (one case in four spends "
    "less) to the 75% figure (one case in four spends more), the line is the median, and the "
    "dashed line is the floor. If the money has run out by then, only the pensions and "
    "annuities are spent. The last column is the chance that spending is down at the floor.";
// What the tab says when spending does not follow wealth.
inline constexpr const char* kFixedSpending =
    "Spending is fixed: the real target income every year while the money lasts, then only the "
    "pensions and annuities (the Probability Results give the chance of that). Choose a "
    "spending rule on the Household page of the inputs to see spending that follows wealth.";

}  // namespace quorrel::explanations
