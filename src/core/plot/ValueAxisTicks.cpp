// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/plot/ValueAxisTicks.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace {
constexpr int kMaxTicks = 1000; // a guard against absurd requests, never reached on screen

std::vector<double> LinearTicks(const ValueTickRequest& r) {
    std::vector<double> ticks;
    const double span = r.upper - r.lower;
    double step = r.minStep > 0 ? r.minStep : 1;
    static constexpr std::array<double, 3> widen{2, 2.5, 2};
    for (int i = 0; step / span * r.pixelLength < r.minSpacing && std::isfinite(step); ++i)
        step *= widen[i % widen.size()];
    if (!std::isfinite(step)) return ticks;
    const double first = std::ceil(r.lower / step - 1e-9);
    const double last = std::floor(r.upper / step + 1e-9);
    for (double k = first; k <= last && ticks.size() < kMaxTicks; ++k)
        ticks.push_back(k * step);
    return ticks;
}

std::vector<double> LogTicks(const ValueTickRequest& r) {
    std::vector<double> ticks;
    if (!(r.lower > 0)) return ticks;
    const double lo = std::log10(r.lower);
    const double hi = std::log10(r.upper);
    const double decade = r.pixelLength / (hi - lo); // pixels per decade
    const int firstDecade = static_cast<int>(std::floor(lo));
    const int lastDecade = static_cast<int>(std::ceil(hi));
    const auto inRange = [&](double v) {
        return v >= r.lower * (1 - 1e-12) && v <= r.upper * (1 + 1e-12);
    };
    if (decade * std::log10(2.0) >= r.minSpacing) {
        for (int d = firstDecade; d <= lastDecade; ++d)
            for (double m : {1.0, 2.0, 5.0})
                if (const double v = m * std::pow(10.0, d); inRange(v)) ticks.push_back(v);
        return ticks;
    }
    int every = 1;
    static constexpr std::array<int, 3> widen{2, 5, 10};
    for (int i = 0; every * decade < r.minSpacing && every < 1000; ++i)
        every = (i < 3 ? widen[i] : every * 10);
    for (int d = firstDecade; d <= lastDecade && ticks.size() < kMaxTicks; ++d)
        if (d % every == 0)
            if (const double v = std::pow(10.0, d); inRange(v)) ticks.push_back(v);
    return ticks;
}
} // namespace

std::vector<double> ValueTicks(const ValueTickRequest& request) {
    if (!(request.upper > request.lower) || !(request.pixelLength > 0)) return {};
    return request.logarithmic ? LogTicks(request) : LinearTicks(request);
}

QString FormatGroupedNumber(double value, const QString& decimalSeparator,
                            const QString& groupSeparator) {
    if (!std::isfinite(value)) return QString::number(value);
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                      std::fabs(value), std::chars_format::fixed, 3);
    std::string digits(buffer.data(), result.ptr);
    std::string fraction;
    if (const auto point = digits.find('.'); point != std::string::npos) {
        fraction = digits.substr(point + 1);
        digits.resize(point);
    }
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    const bool negative = value < 0 && (digits != "0" || !fraction.empty());
    QString text = negative ? QStringLiteral("-") : QString();
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += groupSeparator;
        text += QChar(digits[i]);
    }
    if (!fraction.empty()) text += decimalSeparator + QString::fromStdString(fraction);
    return text;
}
