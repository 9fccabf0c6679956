// SPDX-License-Identifier: GPL-3.0-or-later
// Day files as the daily log writes them, for the viewer's tests and benchmarks: one line
// per second over chosen stretches of a day, with a smooth day-and-night light curve.
#pragma once

#include <QFile>
#include <QString>

#include <cmath>
#include <cstdio>
#include <string>

namespace dayfiles {

struct Values {
    double temperature;
    long mean;
    int range;
};

// Light of a clear day at second `s`: bright at noon, a few counts at night.
inline Values Daylight(int s) {
    const double sun = std::cos((s / 3600.0 - 12) / 24 * 2 * M_PI);
    const double light = sun > -0.1 ? std::pow(sun + 0.1, 3) : 0;
    const long mean = std::lround(20 + 60000 * light + (s * 7919 % 13) * 0.4);
    const int range = mean > 20000 ? 1 : mean > 2000 ? 2 : mean > 500 ? 3 : mean > 100 ? 4 : 5;
    return {10 + 6 * sun, mean, range};
}

// "yyyy-mm-dd hh:nn:ss" + " %5.1f" + " %7d" + " %1d", the separators as given.
inline std::string Line(int year, int month, int day, int s, const Values& v,
                        const char* timeSeparator = ":", char decimal = '.') {
    char text[128];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d%s%02d%s%02d %5.1f %7ld %1d", year, month,
                  day, s / 3600, timeSeparator, s / 60 % 60, timeSeparator, s % 60, v.temperature,
                  v.mean, v.range);
    std::string line(text);
    if (decimal != '.')
        for (char& c : line)
            if (c == '.') c = decimal;
    return line;
}

// Lines for the seconds [from, to) of a day, each followed by CR LF.
inline std::string Lines(int year, int month, int day, int from, int to) {
    std::string text;
    text.reserve(std::size_t(to - from) * 37);
    for (int s = from; s < to; ++s)
        text += Line(year, month, day, s, Daylight(s)) + "\r\n";
    return text;
}

// Lines for the seconds [from, to) of a day with the values `values(s)` gives.
template <class ValuesOf>
std::string LinesWith(int year, int month, int day, int from, int to, ValuesOf values) {
    std::string text;
    text.reserve(std::size_t(to - from) * 37);
    for (int s = from; s < to; ++s)
        text += Line(year, month, day, s, values(s)) + "\r\n";
    return text;
}

// A failed second: temperature -273.1, mean 0, range 0.
inline std::string FailedLine(int year, int month, int day, int s) {
    return Line(year, month, day, s, {-273.1, 0, 0}) + "\r\n";
}

inline bool Write(const QString& path, const std::string& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// Replaces a file as the daily log saves it: a new file renamed over the old one.
inline bool Replace(const QString& path, const std::string& text) {
    const QString temporary = path + QStringLiteral(".new");
    return Write(temporary, text) && std::rename(QFile::encodeName(temporary).constData(),
                                                 QFile::encodeName(path).constData()) == 0;
}

} // namespace dayfiles
