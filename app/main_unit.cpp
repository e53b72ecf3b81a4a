#include "app/main_unit.h"

TMainUnitValues& MainUnit() {
    static TMainUnitValues values;
    return values;
}
