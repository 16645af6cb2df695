#include "ui/OrvResources.h"

#include <QtGlobal>

void InitOrvResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(orv);
        return true;
    }();
    (void)registered;
}
