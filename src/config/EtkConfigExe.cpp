#include "config/EtkConfigExe.h"

#include "config/EtkConfigNat.h"

TEtkConfigExe::TEtkConfigExe(QObject* AOwner) : TEtkConfig(AOwner) {
    auto* nat = new TEtkConfigNat(this);
    SetEtkConfigNat(nat);
    nat->SetRodUviIstRunning(false);
}
