// Failures of the computational core. The core never shows a dialog or ends
// the program: it throws one of these and the caller decides how to show it.
#pragma once

#include <stdexcept>
#include <string>

namespace quorrel {

// Title and text shown for every numeric failure of the actuarial routines.
inline constexpr const char* kValuationWarningTitle = "VELD WARNING";
inline constexpr const char* kValuationWarningText =
    "The variable does not make sense, please change some of them!";

// A failure that a screen shows as a message box with this title and text.
class CalculationFailure : public std::runtime_error {
public:
    CalculationFailure(std::string title, const std::string& text)
        : std::runtime_error(text), title_(std::move(title)) {}
    const std::string& title() const { return title_; }

private:
    std::string title_;
};

// Gamma function or annuity closed form could not produce a finite value.
class ValuationError final : public CalculationFailure {
public:
    ValuationError() : CalculationFailure(kValuationWarningTitle, kValuationWarningText) {}
};

// The finite-difference solver met a singular system or a non-finite result.
class SolverError final : public CalculationFailure {
public:
    explicit SolverError(const std::string& text) : CalculationFailure("Quorrel", text) {}
};

}  // namespace quorrel
