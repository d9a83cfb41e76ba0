#pragma once
// Local names come from the decoded address while the address itself stays percent-encoded on the
// wire and in every record. One segment of an address is decoded as UTF-8 when its bytes are valid
// UTF-8, else as CP932 (older Japanese sites encode Shift_JIS), else it stays as it is:
//   "%E6%97%A5%E6%9C%AC.gif" -> "日本.gif"      "%93%FA%96%7B.gif" -> "日本.gif"
//   "a%20b.gif"              -> "a b.gif"       "%FF%FF.gif"       -> "%FF%FF.gif"
// The file-name rule then turns what a name cannot hold into ".".

#include <QString>

QString DecodeLocalName(const QString& segment);
