#pragma once

// How the probe turns samples into figures: medians and ranges, paired comparisons, and the
// lines it prints. Samples go to standard error, one line per series; table rows go to
// standard output as
//   ROW <tab> figure <tab> ours <tab> reference <tab> comparison <tab> target <tab> met

#include <optional>
#include <string>
#include <vector>

namespace probe {

struct Spread
{
    double median = 0;
    double low = 0;
    double high = 0;
};
Spread spreadOf(std::vector<double> values);

/// `values` per pair: ours[i] / reference[i], and ours[i] - reference[i].
std::vector<double> pairedRatios(const std::vector<double>& ours,
                                 const std::vector<double>& reference);
std::vector<double> pairedDifferences(const std::vector<double>& ours,
                                      const std::vector<double>& reference);

/// `value` with `decimals` decimals, with its sign when `sign`.
std::string num(double value, int decimals, bool sign = false);
/// "39.2 ms (33.1–42.7)": the median and, in brackets, the range.
std::string withRange(const std::vector<double>& values, int decimals, const std::string& unit,
                      bool sign = false);

/// One line of samples on standard error: "<name>: v v v …".
void printSamples(const std::string& name, const std::vector<double>& values, int decimals);
/// One table row; `met` is empty for a figure given for information, without a target.
void row(const std::string& figure, const std::string& ours, const std::string& reference,
         const std::string& comparison, const std::string& target, std::optional<bool> met);

} // namespace probe
