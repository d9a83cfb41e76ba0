#pragma once
// How the text a setting is stored as reads as a value. The store's readers and the keys' defaults
// both convert through these, so a default and a stored text of the same value read the same.

#include <QString>
#include <optional>

// The text as a number (C locale, blanks around it allowed); nullopt when it does not convert.
std::optional<double> TextToNumber(const QString& text);
// "True" and "False" in any case, else a number: non-zero is true; nullopt when neither.
std::optional<bool> TextToFlag(const QString& text);
// The text as a 32-bit whole number, as the number boxes take it: blanks allowed, fractions
// rounded to the nearest with halves to the even neighbour (2.5 -> 2), beyond 32 bits refused.
std::optional<qint32> TextToInteger32(const QString& text);
// value × unit rounded to the nearest whole number and held within 0 .. 2^53 (sizes in bytes).
qint64 ScaledSize(double value, qint64 unit);
