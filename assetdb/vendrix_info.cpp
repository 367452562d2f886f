#include "assetdb/vendrix_info.h"

#include "foundation/tstream.h"

void WEXReadVendrixInfo(TStream& stream, WEXVendrixInfo& info) {
    stream.ReadBool(info.finished, true);
    info.asset.Read(stream);
    stream.ReadString(info.path);
    stream.ReadPString(info.text);
}

bool WEXWriteVendrixInfo(TStream& stream, const WEXVendrixInfo& info) {
    stream.WriteBool(info.finished);
    info.asset.Write(stream);
    stream.WriteString(info.path.view());
    stream.WritePString(info.text);
    return !stream.HasError();
}
