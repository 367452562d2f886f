#include "configdata/tdb_tag_ref.h"

#include "configdata/tdb_container_tag.h"

void TDBTagRef::EnsureContainer() {
    if (IsEmpty()) *this = MakeCounted<TDBContainerTag>();
}

TDBTagRef TDBTagRef::GetEnsuredContainer() {
    EnsureContainer();
    return *this;
}
