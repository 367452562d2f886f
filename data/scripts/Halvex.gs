// The product's script classes in one include: a script that includes this file can use every
// class the program offers.
include "gs.gs"
include "Str.gs"
include "Math.gs"
include "kuid.gs"
include "Soup.gs"
include "KUIDList.gs"
include "StringTable.gs"
include "HTMLBuffer.gs"
include "LinkedList.gs"
include "Image.gs"
include "Constructors.gs"
include "asset.gs"
include "SecurityToken.gs"
include "PropertyObject.gs"
include "HalvexGameObject.gs"
include "Menu.gs"
include "OnlineGroup.gs"
include "OnlineAccess.gs"
include "Library.gs"
include "HalvexScriptBase.gs"
include "worldcoordinate.gs"
include "orientation.gs"
include "Trackside.gs"
include "Vehicle.gs"
include "Signal.gs"

// Every source declares at least one class; this one only names the collection.
final class Halvex
{
};
