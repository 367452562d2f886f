// ACSFile: a configuration file loaded whole into a counted object that hands out its tree.
// The binary soup (TDBBinaryFile) is the one kind built here.
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "foundation/tstream.h"

class ACSFile : public ReferenceCountMP {
public:
    // Loads the file from the stream's position; false when it is refused.
    virtual bool Read(TStream& stream) = 0;
    // The root of what was loaded, or the shared null node when there is none.
    virtual TDBTagRef GetRoot() = 0;
};
