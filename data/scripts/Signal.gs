// Signal: the base of scripted signals.
include "Trackside.gs"

game class Signal isclass Trackside
{
};
