#pragma once
// Addresses taken apart by splitting at "/" alone: no port, user or query parsing, no decoding.
// "http://h:8080/a/b.html" splits into "http:", "", "h:8080", "a", "b.html", so
//   SiteRootOf -> "http://h:8080/"   HostOf -> "h:8080"   DirectoryPathOf -> "/a/"
//   DirectoryAddressOf -> "http://h:8080/a/"   FileNameOf -> "b.html"
// An address of three pieces or fewer ("http://h") has no root and no host until EnsureHostSlash.

#include <QString>

QString SiteRootOf(const QString& address);
QString HostOf(const QString& address);
QString DirectoryPathOf(const QString& address);
QString DirectoryAddressOf(const QString& address);
QString FileNameOf(const QString& address);
void EnsureHostSlash(QString& address);
// The value of a hexadecimal digit of a percent escape, -1 when c is none.
int HexDigitValue(char16_t c);
