// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultScript.h"

#include <cstdlib>
#include <sstream>

namespace {
struct Named {
    FaultAction action;
    const char* name;
    char key;
};
constexpr Named kActions[] = {
    {FaultAction::Unplug, "unplug", 'u'}, {FaultAction::Replug, "replug", 'p'},
    {FaultAction::Silent, "silent", 's'}, {FaultAction::Answer, "answer", 'a'},
    {FaultAction::Short, "short", 'h'},   {FaultAction::Normal, "normal", 'n'},
    {FaultAction::Late, "late", 'l'},
};
} // namespace

std::optional<FaultAction> faultActionForName(const std::string& name) {
    for (const Named& a : kActions)
        if (name == a.name) return a.action;
    if (name == "plug") return FaultAction::Replug;
    return std::nullopt;
}

std::optional<FaultAction> faultActionForKey(char key) {
    for (const Named& a : kActions)
        if (key == a.key) return a.action;
    return std::nullopt;
}

const char* faultActionName(FaultAction action) {
    for (const Named& a : kActions)
        if (action == a.action) return a.name;
    return "?";
}

std::optional<std::vector<FaultEvent>> parseFaultScript(const std::string& text,
                                                        std::string& error) {
    std::vector<FaultEvent> events;
    std::istringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        if (entry.empty()) continue;
        const auto colon = entry.find(':');
        char* end = nullptr;
        const std::string time = entry.substr(0, colon);
        const double at = std::strtod(time.c_str(), &end);
        const auto action =
            colon == std::string::npos ? std::nullopt : faultActionForName(entry.substr(colon + 1));
        if (time.empty() || *end != '\0' || at < 0 || !action) {
            error = "bad fault entry \"" + entry +
                    "\" (expected seconds:action, action one of "
                    "unplug, replug, silent, answer, short, normal, late)";
            return std::nullopt;
        }
        events.push_back({at, *action});
    }
    return events;
}
