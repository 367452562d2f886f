// The natives of the script class "LinkedList": a selection sort of a LinkedData[] array by the
// items' text, and an append that can skip an item equal to one already there.
//
// They read a LinkedData's first three members by position (member words 2, 3 and 4: its text,
// its int and its object). An element is read only when it is the LinkedData part of its
// instance and that class lays those words out as a reference, a plain word and a reference;
// anything else (another class, a LinkedData of another layout) reads as a null element: empty
// text, 0 and no object.
#pragma once

#include "script/vm/gs_context.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

// "$void@LinkedList::SortInternal(LinkedData[])"
void LinkedListSortInternal(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);
// "$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)"
void LinkedListAddInternal(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);

}  // namespace ScriptNatives
