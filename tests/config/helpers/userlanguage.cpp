// Prints the catalogue language of the user's locale ("userlanguage"), as the launcher picks it from
// the environment it was started with (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
#include <cstdio>

#include "config/EtkConfig.h"

int main() {
    std::printf("%s\n", UserDefaultLanguageCode().toUtf8().constData());
    return 0;
}
