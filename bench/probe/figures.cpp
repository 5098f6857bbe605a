#include "figures.h"

#include <algorithm>
#include <cstdio>

namespace probe {

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

} // namespace

Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return {median(values), *low, *high};
}

std::vector<double> pairedRatios(const std::vector<double>& ours,
                                 const std::vector<double>& reference)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.size(), reference.size()); ++i) {
        if (reference[i] > 0)
            ratios.push_back(ours[i] / reference[i]);
    }
    return ratios;
}

std::vector<double> pairedDifferences(const std::vector<double>& ours,
                                      const std::vector<double>& reference)
{
    std::vector<double> differences;
    for (std::size_t i = 0; i < std::min(ours.size(), reference.size()); ++i)
        differences.push_back(ours[i] - reference[i]);
    return differences;
}

std::string num(double value, int decimals, bool sign)
{
    char text[64];
    std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
    return text;
}

std::string withRange(const std::vector<double>& values, int decimals, const std::string& unit,
                      bool sign)
{
    const Spread s = spreadOf(values);
    const std::string space = unit.empty() ? "" : " ";
    return num(s.median, decimals, sign) + space + unit + " (" + num(s.low, decimals, sign) + "–" +
           num(s.high, decimals, sign) + ")";
}

void printSamples(const std::string& name, const std::vector<double>& values, int decimals)
{
    std::string line;
    for (double v : values)
        line += (line.empty() ? "" : " ") + num(v, decimals);
    std::fprintf(stderr, "%s: %s\n", name.c_str(), line.c_str());
}

void row(const std::string& figure, const std::string& ours, const std::string& reference,
         const std::string& comparison, const std::string& target, std::optional<bool> met)
{
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), ours.c_str(), reference.c_str(),
                comparison.c_str(), target.c_str(),
                !met   ? "-"
                : *met ? "yes"
                       : "no");
    std::fflush(stdout);
}

} // namespace probe
