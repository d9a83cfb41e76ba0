#pragma once
// The rule of every number the user types, in a box of the window or as an option of the command
// line, so that both take the same texts, refuse them with the same words and store the same value.
// A text is read as typed: blanks and line breaks around it are dropped, and full-width digits,
// point and signs (as a Japanese input method types them) read as their ASCII forms.
//   ReadNumber(NumberRules::PortNo, u"　８０８０ "_s).text     // "8080", the text to store
//   ReadNumber(NumberRules::PortNo, u"99999"_s).message       // "ポートは1から65535の数値で入力して下さい。"

#include "settings/settingskeys.h"

#include <QString>
#include <optional>

// What a text that is no number is told, in the boxes of the settings and crawl options dialogs.
inline const QString NotANumberMessage = QStringLiteral("数値で入力して下さい｡");

struct NumberRule {
    QString key; // the setting the number is stored under
    QString name; // the field as the window names it, for the range message
    qint64 minimum = 0;
    qint64 maximum = 0;
    // A size, which the crawl scales to bytes as a decimal, keeps its fraction; a count is whole.
    bool fraction = false;
    // The list page dialogs have always said it without the final full stop.
    QString notANumber = NotANumberMessage;

    // "同時接続数は1から16の数値で入力して下さい。"
    QString rangeMessage() const;
};

// How a count takes a fraction: the window's boxes round it to the nearest, halves to even, as they
// always have; the command line refuses it, since a script means the number it wrote.
enum class Fraction { Round, Refuse };

struct NumberReading {
    std::optional<double> value; // none when the text was refused
    QString text; // the value as it is stored: plain decimal text
    QString message; // why the text was refused

    bool ok() const { return value.has_value(); }
};

NumberReading ReadNumber(const NumberRule& rule, const QString& text, Fraction whole = Fraction::Round);
// Why a crawl with these size limits (stored texts, KB) could save no file at all: a minimum above a
// maximum that is not 0 (no limit); empty when they allow some file.
QString SizeLimitsProblem(const QString& minimumKb, const QString& maximumKb);
// The text without blanks and line breaks around it (ASCII and the full-width blank U+3000).
QString TrimBlanks(const QString& text);
// The trimmed text with full-width digits, point and signs in their ASCII forms.
QString NumberText(const QString& text);

namespace NumberRules {

namespace K = SettingsKeys;
namespace D = SettingsDefaults;

// Crawl options.
inline const NumberRule DeepCount { K::DeepCount, QStringLiteral("制限階層数"), 0, 9999 };
inline const NumberRule MaxSize { K::MaxSize, QStringLiteral("ダウンロード最大サイズ"), 0, 1000000000, true };
inline const NumberRule MinSize { K::MinSize, QStringLiteral("ダウンロード最小サイズ"), 0, 1000000000, true };

// Connection settings. A timeout of 0 sets no limit; a port of 0 would name no proxy at all.
inline const NumberRule RequestTimeout { K::RequestTimeout, QStringLiteral("接続タイムアウト"), 0, 3600 };
inline const NumberRule PortNo { K::PortNo, QStringLiteral("ポート"), 1, 65535 };
inline const NumberRule Connections { K::Connections, QStringLiteral("同時接続数"), D::MinConnections,
    D::MaxConnections };
// The crawl holds the interval within an hour.
inline const NumberRule RequestIntervalMs { K::RequestIntervalMs, QStringLiteral("リクエストの間隔"), 0, 3600000 };
// A buffer below 1 MB would fetch files in tiny ranged pieces, a scan limit below it leave pages
// unscanned; each is held in memory, so a gigabyte is the most. The buffer box has always taken
// whole megabytes.
inline const NumberRule BuffLen { K::BuffLen, QStringLiteral("バッファの大きさ"), 1, 1024 };
inline const NumberRule ScanLimitMb { K::ScanLimitMB, QStringLiteral("リンクを探すページの上限"), 1, 1024, true };

// List pages: a page holds at least one entry.
inline const NumberRule ListViewSize { K::ListViewSize, QStringLiteral("一覧表示で表示する数"), 1, 1000 };
inline const NumberRule MakeListFileCount { K::MakeListFileCount, QStringLiteral("ページファイル数"), 1, 1000, false,
    QStringLiteral("数値で入力して下さい") };
inline const NumberRule MakeGraphMinNLine { K::MakeGraphMinNLine, QStringLiteral("ページ行数"), 1, 200, false,
    QStringLiteral("数値で入力して下さい") };
inline const NumberRule MakeGraphListCount { K::MakeGraphListCount, QStringLiteral("ページ画像数"), 1, 1000, false,
    QStringLiteral("数値で入力して下さい") };

} // namespace NumberRules
