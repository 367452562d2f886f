// The program's exported plug-in entry (see plugin_entry.cpp).
#pragma once

extern "C" void KivGetPlugins();
