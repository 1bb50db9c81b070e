// EtkConfigIntf.h: value types shared by the configuration stores and their callers: the typed raw
// value kinds, the font and rectangle sub-structures, and the inflation of compressed configuration
// files. Plain values; any thread.
#pragma once
#include <QByteArray>
#include <QString>

// The type of a stored value, as its letter in the file says.
enum class TEtkRawType : int { rtString = 0, rtInteger = 1, rtBoolean = 2, rtList = 3 };

// The font sub-structure under a key + "\TFont"; defaults as a missing part reads.
struct TEtkFontData {
    int CharSet = 1;
    int Pitch = 0;  // 0 default, 1 variable, 2 fixed
    int Size = 8;   // points
    int Style = 0;  // bold 1, italic 2, underline 4, strike-out 8
    QString Color = QStringLiteral("clWindowText");
    QString Name;
    bool operator==(const TEtkFontData&) const = default;
};

// A rectangle as the rectangle list stores it (Right and Bottom as given, not sizes).
struct TEtkRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TEtkRect&) const = default;
};

// Configuration files may be stored as a gzip or zlib stream. When Bytes begins with either
// signature and inflates completely (checksum verified), Bytes becomes the inflated content and the
// answer is true; otherwise Bytes stays as it was.
bool InflateConfigBytes(QByteArray& Bytes);

// The text of a stored value without white space (characters up to the blank) at both ends.
QString TrimConfigText(const QString& Text);
