#include "ui/widgets/Resources.h"

#include <QtGlobal>

static void initResourcesOnce()
{
    Q_INIT_RESOURCE(resources);
}

void InitK3316Resources()
{
    static const bool done = (initResourcesOnce(), true);
    (void)done;
}
