#include "script/natives/class_natives.h"

#include <memory>

#include "script/natives/constructors_natives.h"
#include "script/natives/gso_html_buffer.h"
#include "script/natives/gso_kuid.h"
#include "script/natives/gso_kuid_list.h"
#include "script/natives/gso_soup.h"
#include "script/natives/gso_string_table.h"
#include "script/natives/linked_list_natives.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_native.h"

namespace ScriptNatives {

namespace {

using GSRuntime::GSCNativeFunction;
using GSRuntime::GSCPPNativeFunction;
using GSRuntime::GSNativeRegistry;

template <typename T>
struct Row {
    const char* signature;
    void (T::*method)(GSRuntime::GSStack&);
};

template <typename T, size_t N>
void Bind(GSNativeRegistry& registry, const char* className, const Row<T> (&rows)[N]) {
    for (const Row<T>& row : rows)
        registry.Add(
            std::make_unique<GSCPPNativeFunction<T>>(className, row.signature, row.method));
}

struct PlainRow {
    const char* signature;
    GSCNativeFunction::Function function;
};

template <size_t N>
void Bind(GSNativeRegistry& registry, const char* className, const PlainRow (&rows)[N]) {
    for (const PlainRow& row : rows)
        registry.Add(std::make_unique<GSCNativeFunction>(className, row.signature, row.function));
}

const Row<GSOKUID> kKUIDRows[] = {
    {"$string@KUID::GetName()", &GSOKUID::GetName},
    {"$string@KUID::GetHTMLString()", &GSOKUID::GetHTMLString},
    {"$string@KUID::GetLogString()", &GSOKUID::GetLogString},
    {"$string@KUID::GetBaseString()", &GSOKUID::GetBaseString},
    {"$KUID@KUID::GetBaseKUID()", &GSOKUID::GetBaseKUID},
};

const Row<GSOSoup> kSoupRows[] = {
    {"$int@Soup::CountTags()", &GSOSoup::CountTags},
    {"$string@Soup::GetNamedTag(string)", &GSOSoup::GetNamedTag},
    {"$Soup@Soup::GetNamedSoup(string)", &GSOSoup::GetNamedSoup},
    {"$Soup@Soup::GetNamedSoupAdd(string)", &GSOSoup::GetNamedSoupAdd},
    {"$string@Soup::GetIndexedTagName(int)", &GSOSoup::GetIndexedTagName},
    {"$int@Soup::GetIndexForNamedTag(string)", &GSOSoup::GetIndexForNamedTag},
    {"$KUID@Soup::GetNamedTagAsKUID(string)", &GSOSoup::GetNamedTagAsKUID},
    {"$int@Soup::GetNamedTagAsInt(string)", &GSOSoup::GetNamedTagAsInt},
    {"$int@Soup::GetNamedTagAsInt(string,int)", &GSOSoup::GetNamedTagAsIntOr},
    {"$float@Soup::GetNamedTagAsFloat(string)", &GSOSoup::GetNamedTagAsFloat},
    {"$float@Soup::GetNamedTagAsFloat(string,float)", &GSOSoup::GetNamedTagAsFloatOr},
    {"$void@Soup::SetNamedTag(string,string)", &GSOSoup::SetNamedTagString},
    {"$void@Soup::SetNamedTag(string,float)", &GSOSoup::SetNamedTagFloat},
    {"$void@Soup::SetNamedTag(string,int)", &GSOSoup::SetNamedTagInt},
    {"$void@Soup::SetNamedTag(string,KUID)", &GSOSoup::SetNamedTagKUID},
    {"$void@Soup::SetNamedSoup(string,Soup)", &GSOSoup::SetNamedSoup},
    {"$void@Soup::RemoveNamedTag(string)", &GSOSoup::RemoveNamedTag},
    {"$void@Soup::Copy(Soup)", &GSOSoup::Copy},
    {"$void@Soup::Clear()", &GSOSoup::Clear},
    {"$bool@Soup::IsLocked()", &GSOSoup::IsLocked},
    {"$Soup@Soup::GetLockedReference()", &GSOSoup::GetLockedReference},
    {"$void@Soup::AddUniqueNamedSoup(Soup)", &GSOSoup::AddUniqueNamedSoup},
    {"$void@Soup::Log()", &GSOSoup::Log},
    {"$string@Soup::AsString()", &GSOSoup::AsString},
};

const Row<GSOHTMLBuffer> kHTMLBufferRows[] = {
    {"$void@HTMLBuffer::Clear()", &GSOHTMLBuffer::NativeClear},
    {"$bool@HTMLBuffer::IsEmpty()", &GSOHTMLBuffer::NativeIsEmpty},
    {"$string@HTMLBuffer::AsString()", &GSOHTMLBuffer::NativeAsString},
    {"$void@HTMLBuffer::Print(string)", &GSOHTMLBuffer::NativePrint},
    {"$void@HTMLBuffer::Escape(string)", &GSOHTMLBuffer::NativeEscape},
};

const PlainRow kHTMLBufferStaticRows[] = {
    {"$HTMLBuffer@HTMLBufferStatic::Construct()", &GSOHTMLBuffer::Construct},
};

const Row<GSOKUIDList> kKUIDListRows[] = {
    {"$int@KUIDList::CountKUIDs()", &GSOKUIDList::CountKUIDs},
    {"$void@KUIDList::AddKUID(KUID)", &GSOKUIDList::AddKUID},
    {"$void@KUIDList::RemoveKUID(KUID)", &GSOKUIDList::RemoveKUID},
    {"$bool@KUIDList::HasKUID(KUID)", &GSOKUIDList::HasKUID},
    {"$KUID@KUIDList::GetIndexedKUID(int)", &GSOKUIDList::GetIndexedKUID},
    {"$void@KUIDList::Copy(KUIDList)", &GSOKUIDList::Copy},
    {"$void@KUIDList::Clear()", &GSOKUIDList::Clear},
    {"$bool@KUIDList::IsLocked()", &GSOKUIDList::IsLocked},
};

const Row<GSOStringTable> kStringTableRows[] = {
    {"$string@StringTable::GetLanguage()", &GSOStringTable::GetLanguage},
    {"$void@StringTable::ClearParams()", &GSOStringTable::ClearParams},
    {"$void@StringTable::SetParam(int,string)", &GSOStringTable::SetParam},
    {"$string@StringTable::GetString(string)", &GSOStringTable::GetString},
};

const PlainRow kLinkedListRows[] = {
    {"$void@LinkedList::SortInternal(LinkedData[])", &LinkedListSortInternal},
    {"$void@LinkedList::AddInternal(LinkedData[],LinkedData,bool)", &LinkedListAddInternal},
};

const PlainRow kConstructorsRows[] = {
    {"$Soup@ConstructorsBase::NewSoup()", &ConstructorsNewSoup},
    {"$KUIDList@ConstructorsBase::NewKUIDList()", &ConstructorsNewKUIDList},
    {"$Image@ConstructorsBase::NewImage()", &ConstructorsNewImage},
};

}  // namespace

void RegisterClassNatives(GSNativeRegistry& registry) {
    Bind(registry, "KUID", kKUIDRows);
    Bind(registry, "Soup", kSoupRows);
    Bind(registry, "HTMLBuffer", kHTMLBufferRows);
    Bind(registry, "HTMLBufferStatic", kHTMLBufferStaticRows);
    Bind(registry, "KUIDList", kKUIDListRows);
    Bind(registry, "StringTable", kStringTableRows);
    Bind(registry, "LinkedList", kLinkedListRows);
    Bind(registry, "ConstructorsBase", kConstructorsRows);
    // Soups travel in router messages: as a copy without their "__" tags when sent, as a locked
    // Soup over the message's own tree when handed to a script.
    GSRuntime::SetMessageDataHook(&GSOSoup::MessageData);
    GSRuntime::SetMessageSoupHook(&GSOSoup::MessageSoup);
}

}  // namespace ScriptNatives
