#pragma once
// What the fuzz targets share: text made from the fuzzer's bytes, a scratch folder per process,
// and a check that ends the run with a message, so libFuzzer keeps the input as a crash.
//   FUZZ_CHECK(path.startsWith(site), path);

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

[[noreturn]] void FuzzFail(const char* condition, const QString& detail);
#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            FuzzFail(#condition, detail);                                                                              \
    } while (false)

// Bytes as UTF-16 code units, two bytes each, so lone surrogates and NUL occur too.
QString Utf16Text(const std::string& bytes);
// Bytes as UTF-8; invalid sequences become U+FFFD.
QString Utf8Text(const std::string& bytes);
// A text of up to maxBytes from the provider, as UTF-8 or (when the provider says so) UTF-16.
QString FuzzedText(FuzzedDataProvider& data, size_t maxBytes);

// A folder made on first use and removed when the process ends.
QString ScratchDir();
// Removes everything inside folder and makes sure it exists, empty.
void EmptyFolder(const QString& folder);

// The bytes "%XY" decoded only where X and Y are hexadecimal digits; everything else kept.
QByteArray StrictPercentDecode(const QByteArray& text);
