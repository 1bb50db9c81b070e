// ConfigBenchSupport.h: the generated project-file content the configuration benchmarks share.
#pragma once
#include <QString>

#include "config/FastBLKReader.h"

// About 200 bytes per key: strings (some multi-line, some non-ASCII), integers, lists, attributes.
inline void FillTree(TBLKConnector& Tree, int Keys) {
    Tree.WriteAttribute("", "Version", "1.1");
    for (int i = 0; i < Keys; ++i) {
        const QString key = QStringLiteral("Section%1\\Group%2\\Key%3").arg(i % 50).arg((i / 50) % 40).arg(i);
        switch (i % 5) {
        case 0:
            Tree.WriteRawString(key, QStringLiteral("sC:\\Katalog\\Daten\\Bild%1.png; ein ganz gewöhnlicher Wert mit Umlauten äöü ß und etwas mehr Text für die Länge, damit die Datei die Größe eines echten Katalogprojekts erreicht, wie es Kunden ausliefern").arg(i));
            break;
        case 1:
            Tree.WriteRawString(key, QStringLiteral("i%1").arg(i * 7919));
            Tree.WriteAttribute(key, "BLSP", "ML");
            Tree.WriteAttribute(key, "GUID", "0123456789ABCDEF0123456789ABCDEF"); Tree.WriteAttribute(key, "Beschreibung", "Mehrsprachiger Text mit Attribut, Ä & \"Zitat\"");
            break;
        case 2:
            Tree.WriteRawString(key, QStringLiteral("lsDE|sEN|sFR|sIT|sES|sa#007Cb|s%1 mit Leerzeichen und & Zeichen < >|sNL|sPL|sCS|sHU|sRU|sZH|sJA|sKO|sweitere Einträge der Liste").arg(i));
            break;
        case 3:
            Tree.WriteRawString(key, QStringLiteral("sErste Zeile %1 mit einer Beschreibung des Bauteils\r\nZweite Zeile mit \"Zitat\" und 'Apostroph' sowie weiteren Angaben zum Einbau\r\nDritte Zeile 中文 Ελληνικά mit Übersetzungen").arg(i));
            break;
        default:
            Tree.WriteRawString(key, QStringLiteral("sDATABASE\\H2Database\\Verzeichnis\\Data\\Teil%1\\Unterordner\\Weitere\\Ebenen\\Datei_mit_einem_recht_langen_Namen_und_Versionsnummer_2026.dat").arg(i));
            Tree.WriteAttribute(key, "Valid", "true");
            Tree.WriteAttribute(key, "Count", QString::number(i));
            break;
        }
    }
}
