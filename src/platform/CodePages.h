// CodePages.h: the two 8-bit code pages the system meets, as published tables (Qt 6 has no such
// codecs). The "system ANSI code page" is Windows-1252 and the "OEM code page" is 850 on every
// machine, so files written on a Windows installation read the same here. Pure functions, any thread.
#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace Platform {

enum class TCodePage : int { Windows1252 = 1252, Oem850 = 850 };

QString DecodeCodePage(TCodePage CodePage, QByteArrayView Bytes);
// Characters the code page cannot hold become "?", as Windows does without a best-fit table.
QByteArray EncodeCodePage(TCodePage CodePage, QStringView Text);

inline QString DecodeAnsi(QByteArrayView Bytes) { return DecodeCodePage(TCodePage::Windows1252, Bytes); }
inline QByteArray EncodeAnsi(QStringView Text) { return EncodeCodePage(TCodePage::Windows1252, Text); }
inline QString DecodeOem(QByteArrayView Bytes) { return DecodeCodePage(TCodePage::Oem850, Bytes); }
inline QByteArray EncodeOem(QStringView Text) { return EncodeCodePage(TCodePage::Oem850, Text); }

// OemToCharBuff and CharToOemBuff: re-encode bytes between the two code pages.
QByteArray OemToAnsi(QByteArrayView Bytes);
QByteArray AnsiToOem(QByteArrayView Bytes);

}  // namespace Platform
