// Vehicle: the base of scripted rolling stock.
include "Trackside.gs"

game class Vehicle isclass Trackside
{
};
