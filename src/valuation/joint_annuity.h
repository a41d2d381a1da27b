// Annuities on two lives whose deaths are independent: the joint life and
// the joint-and-survivor annuity, priced against the same curves as the
// single-life factors.
#pragma once

#include <span>

#include "record/analysis_state.h"
#include "valuation/mortality_tables.h"

namespace quorrel {

// The three annuities of the purchase frame, by their discounting:
// cpi_linked on the real curve, nominal_cola on the nominal curve less
// cola_rate (both over the six maturity buckets), variable at the flat
// air_rate for the whole life.
enum class AnnuityKind { cpi_linked, nominal_cola, variable };

// A life as the annuity table sees it: its current age and its law.
struct AnnuityLife {
    double age = 0;
    GompertzMakehamParams law;
};

// The annuity table's law (annuity_table_code, annuity_projection_years) for
// a life of this gender (0 male, 1 female, else unisex) and whole age 50..90.
AnnuityLife annuity_table_life(const AnalysisState& state, int gender_code, double age);

// The single-life factor of the kind by its closed form: the very figures of
// real_annuity_factor, cola_annuity_factor and annuity_tail_value(0, air_rate).
// Throws ValuationError on a numeric failure.
double single_life_annuity_factor(const AnalysisState& state, AnnuityKind kind,
                                  const AnnuityLife& life);

// Value of 1 a year paid continuously while every one of `lives` is alive,
// discounted as the single-life factor of the kind is. Each life counts as
// dead past its own payment horizon (to age 100 below 70, for life from 70
// to 80, 20 years above 80; for life for the variable kind), so payments on
// two lives stop at the earlier horizon. By quadrature; for one life it is
// that life's single-life factor. Throws ValuationError on a numeric failure
// or an empty list.
double all_alive_annuity_factor(const AnalysisState& state, AnnuityKind kind,
                                std::span<const AnnuityLife> lives);

// Price of 1 a year while both live and `survivor_share` (0..1) a year while
// either survives alone: s (a_person + a_spouse) + (1 - 2s) a_joint, with
// the single-life factors by their closed form and a_joint by
// all_alive_annuity_factor. s = 0 is the joint life, s = 1 the last
// survivor. Throws ValuationError on a numeric failure or a share outside
// 0..1.
double joint_survivor_factor(const AnalysisState& state, AnnuityKind kind,
                             const AnnuityLife& person, const AnnuityLife& spouse,
                             double survivor_share);

}  // namespace quorrel
