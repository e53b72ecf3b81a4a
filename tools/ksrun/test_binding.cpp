#include "tools/ksrun/test_binding.h"

#include <string>

#include "platform/core/variant.h"
#include "script/classes_binding.h"
#include "script/ini_binding.h"
#include "script/script.h"
#include "script/sys_functions.h"

void RegisterTestBinding(TksScript& script, std::ostream& out) {
    // The host module list puts the built-ins first; their types must exist before WriteLn's
    // declaration names one.
    ksRegisterSysFunctions();
    ksRegisterIniBinding();
    ksRegisterClassesBinding();
    script.AddHostModules();

    const void* saved = script.OwnerTag;
    script.OwnerTag = ksHostTag;  // survives the Clear before each compile
    script.AddMethod("procedure WriteLn(V: Variant)",
                     [&out](TObject*, const TClassInfo*, const std::string&,
                            TksMethodHelper& caller) -> Variant {
                         out << VarToStr(caller.Params(0)) << '\n';
                         return Variant(0);
                     });
    script.OwnerTag = saved;
}
