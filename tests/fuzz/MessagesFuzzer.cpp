// SPDX-License-Identifier: GPL-3.0-or-later
// What a station may be sent or may read, on any bytes: the archive's decoders either
// refuse a message with a reason or take one that reads back the same once encoded again;
// a station description either reads or fails with its own error, never otherwise.
#include "FuzzCheck.h"
#include "core/station/StationDescription.h"
#include "network/Messages.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString why;
    if (const auto reading = messages::DecodeReading(bytes, &why))
        FUZZ_CHECK(messages::DecodeReading(messages::Encode(*reading)) == reading);
    else
        FUZZ_CHECK(!why.isEmpty());
    if (const auto status = messages::DecodeStatus(bytes))
        FUZZ_CHECK(messages::DecodeStatus(messages::Encode(*status)) == status);
    if (const auto event = messages::DecodeEvent(bytes))
        FUZZ_CHECK(messages::DecodeEvent(messages::Encode(*event)) == event);
    why.clear();
    if (const auto minute = messages::DecodeMinute(bytes, &why))
        FUZZ_CHECK(messages::DecodeMinute(messages::Encode(*minute)) == minute);
    else
        FUZZ_CHECK(!why.isEmpty());
    messages::ParseTopic(QStringLiteral("nocturo"), QString::fromUtf8(bytes));
    try {
        const StationDescription description =
            stationdescription::Parse(bytes, QStringLiteral("station.conf"));
        FUZZ_CHECK(stationdescription::ValidName(description.name));
    } catch (const StationDescriptionError&) {
    }
    return 0;
}
