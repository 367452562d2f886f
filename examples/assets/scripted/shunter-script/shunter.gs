// A shunter whose script class is a vehicle, as a traincar's must be.
include "Vehicle.gs"

class ScriptedShunter isclass Vehicle
{
};
