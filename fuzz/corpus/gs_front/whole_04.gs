include "x.gs";
