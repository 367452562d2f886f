#include "script/vm/gs_library.h"

namespace GSRuntime {

GSLibrary::~GSLibrary() {
    for (auto& c : classes)
        for (auto& f : c->functions)
            ReleaseFunctionHandle(f->handle);
}

GSClass* GSLibrary::FindClass(const Kiv::PString& name) const {
    for (size_t i = classes.size(); i-- > 0;)
        if (classes[i]->name.view() == name.view()) return classes[i].get();
    return nullptr;
}

}  // namespace GSRuntime
