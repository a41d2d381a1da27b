#include <gtest/gtest.h>

#include <string>

#include "record/errors.h"
#include "engine/standard/solver.h"

namespace quorrel {
namespace {

// 1-based arrays: element 0 is never read.
TEST(Tridag, SolvesHandCheckedSystems) {
    // [ 2 -1  0] [1]   [1]
    // [-1  2 -1] [1] = [0]
    // [ 0 -1  2] [1]   [1]
    {
        const double lower[] = {0, 0, -1, -1}, diag[] = {0, 2, 2, 2}, upper[] = {0, -1, -1, 0};
        const double rhs[] = {0, 1, 0, 1};
        double u[4] = {};
        tridag(3, lower, diag, upper, rhs, u);
        EXPECT_DOUBLE_EQ(u[1], 1);
        EXPECT_DOUBLE_EQ(u[2], 1);
        EXPECT_DOUBLE_EQ(u[3], 1);
    }
    // [4 1 0 0] [ 1]   [ 6]
    // [1 4 1 0] [ 2] = [ 8]
    // [0 1 4 1] [-1]   [ 1]
    // [0 0 1 4] [ 3]   [11]
    {
        const double lower[] = {0, 99, 1, 1, 1}, diag[] = {0, 4, 4, 4, 4},
                     upper[] = {0, 1, 1, 1, 99};
        const double rhs[] = {0, 6, 8, 1, 11};
        double u[5] = {};
        tridag(4, lower, diag, upper, rhs, u);
        EXPECT_NEAR(u[1], 1, 1e-14);
        EXPECT_NEAR(u[2], 2, 1e-14);
        EXPECT_NEAR(u[3], -1, 1e-14);
        EXPECT_NEAR(u[4], 3, 1e-14);
    }
    // One row.
    {
        const double lower[] = {0, 0}, diag[] = {0, 4}, upper[] = {0, 0}, rhs[] = {0, 2};
        double u[2] = {};
        tridag(1, lower, diag, upper, rhs, u);
        EXPECT_DOUBLE_EQ(u[1], 0.5);
    }
}

// The two pivot failures stop the calculation with the solver's own texts;
// nothing ends the program.
TEST(Tridag, ZeroPivotsThrowSolverErrorWithTheirTexts) {
    double u[4] = {};
    {
        const double lower[] = {0, 0, 1, 1}, diag[] = {0, 0, 2, 2}, upper[] = {0, 1, 1, 0},
                     rhs[] = {0, 1, 1, 1};
        try {
            tridag(3, lower, diag, upper, rhs, u);
            FAIL() << "no failure reported";
        } catch (const SolverError& e) {
            EXPECT_EQ(std::string(e.what()), " The matrix is not tridag!!!");
        }
    }
    {
        // Second pivot: 1 - 1 x (1 / 1) = 0.
        const double lower[] = {0, 0, 1, 1}, diag[] = {0, 1, 1, 2}, upper[] = {0, 1, 1, 0},
                     rhs[] = {0, 1, 1, 1};
        try {
            tridag(3, lower, diag, upper, rhs, u);
            FAIL() << "no failure reported";
        } catch (const SolverError& e) {
            EXPECT_EQ(std::string(e.what()), " There is an error in the matrix!!!");
        }
    }
}

}  // namespace
}  // namespace quorrel
