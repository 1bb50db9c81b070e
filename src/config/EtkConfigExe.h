// EtkConfigExe.h: the configuration object of the programs: the facade with its native
// configuration (several files routed by key prefix) as a child object.
#pragma once
#include "config/EtkConfig.h"

class TEtkConfigExe final : public TEtkConfig {
    Q_OBJECT
public:
    // RodUvi mode starts off.
    explicit TEtkConfigExe(QObject* AOwner = nullptr);
};
