// A menu that a library shows at its system-menu icon. The interface host that fills and shows
// menus is not part of this program.
include "gs.gs"

class Menu isclass GSObject
{
};
