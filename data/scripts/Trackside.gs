// Trackside: the base of every scripted object that stands by the track.
include "HalvexGameObject.gs"

game class Trackside isclass HalvexGameObject
{
};
