// Fuzzes the DOM store's read from memory: any bytes must load or raise the store's error, and a
// document that loaded must survive reading every key, a write and a reload of its serialisation.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "config/ETKConfigDomXML.h"
#include "config/FastBLKReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, size_t Size) {
    const QByteArray bytes(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    TEtkConfigXML store;
    store.SetShowError(false);
    try {
        store.LoadXMLFromStream(bytes, QStringLiteral("fuzz"));
    } catch (const EBLKParserError&) {
        return 0;
    }
    if (!store.isKonfig())
        return 0;
    for (const QString& key : store.ReadAllKeys(QString())) {
        store.ReadString(key, QString());
        store.ReadStrings(key);
        store.ReadAllAttributes(key);
    }
    QByteArray saved;
    store.WriteXMLToStream(saved);
    TEtkConfigXML reloaded;
    reloaded.SetShowError(false);
    try {
        reloaded.LoadXMLFromStream(saved, QStringLiteral("reload"));
    } catch (const EBLKParserError&) {
        std::abort();  // the document's own serialisation must load again
    }
    return 0;
}
