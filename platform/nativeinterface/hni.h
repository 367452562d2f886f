/* The native plug-in interface: what script libraries and native plug-ins pass each other.
 *
 * Strings, arrays and objects live in one process-wide table inside this shared library
 * (libhalvexnativeinterface.so, in the install's bin/). A value is named by a handle: a table
 * index with a generation, so a handle that was never made, was released or belongs to a value
 * of another sort is answered with an error value (HNI_NONE, NULL, a negative code), never by
 * touching memory. Every value is reference counted: the maker holds one reference and
 * HNIRelease drops one; at zero the value is freed (an array releases its elements, an object's
 * destroy operation runs). The table is locked; plug-in functions run outside the lock and may
 * call back in.
 *
 * A plug-in is a shared library "bin/plugins/<name>.so" linked against this library (its
 * RUNPATH "$ORIGIN/.." finds it beside the program; a plug-in's own libraries go beside it,
 * found through its own RUNPATH "$ORIGIN"). It exports one function:
 *
 *     HNI_EXPORT HNIHandle HNIEntryPoint(HNIHandle host);
 *
 * which takes the handle of the host's object (the script library that loads it) and gives a
 * library object, or HNI_NONE to refuse. A plug-in makes its library object with
 * HNIAllocLibrary from a table of named functions:
 *
 *     static HNIHandle Echo(HNIHandle library, HNIHandle args, void* data) { ... }
 *     static const HNILibraryEntry kFunctions[] = {{"Init", Init}, {"Echo", Echo}};
 *     HNI_EXPORT HNIHandle HNIEntryPoint(HNIHandle host) {
 *         return HNIAllocLibrary("MyLibrary", kFunctions, 2, NULL, NULL);
 *     }
 *
 * The host calls a function by name with HNICallLibraryFunction: its arguments are one array
 * (or HNI_NONE), its result a new handle the caller releases (or HNI_NONE). The loader calls
 * "Init" with no arguments right after the entry point.
 */
#ifndef HALVEX_NATIVE_INTERFACE_H
#define HALVEX_NATIVE_INTERFACE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define HNI_EXTERN_C extern "C"
#else
#define HNI_EXTERN_C
#endif
#define HNI_API HNI_EXTERN_C __attribute__((visibility("default")))
/* For the one symbol a plug-in exports. */
#define HNI_EXPORT HNI_EXTERN_C __attribute__((visibility("default")))

typedef uint64_t HNIHandle;
#define HNI_NONE ((HNIHandle)0)

/* Results of the calls that return a code. */
enum {
    HNI_OK = 0,
    HNI_BAD_HANDLE = -1,   /* never made, released, or none */
    HNI_WRONG_KIND = -2,   /* a handle of another sort of value */
    HNI_OUT_OF_RANGE = -3, /* an array index past the end */
    HNI_NO_MEMORY = -4,
    HNI_NO_FUNCTION = -5, /* the library has no function of that name */
};

/* The operations of an object, each optional. destroy runs when the last reference goes;
 * notify1..3 are what the host's notification dispatch calls, for flag bits 1, 2 and 4. */
typedef struct HNIObjectOps {
    void (*destroy)(void* data);
    void (*notify1)(void* data);
    void (*notify2)(void* data);
    void (*notify3)(void* data);
} HNIObjectOps;

typedef HNIHandle (*HNILibraryFunction)(HNIHandle library, HNIHandle args, void* data);
typedef struct HNILibraryEntry {
    const char* name;
    HNILibraryFunction function;
} HNILibraryEntry;

typedef HNIHandle (*HNIEntryPointFunction)(HNIHandle host);

/* Where the table's values take their memory from: malloc and free until the host sets a
 * pair; each value is freed by the pair that made it. A null pair restores malloc and free. */
typedef void* (*HNIAllocFunction)(size_t bytes);
typedef void (*HNIFreeFunction)(void* block);
HNI_API void HNISetAllocator(HNIAllocFunction allocate, HNIFreeFunction release);

/* A string holding a copy of the text (NULL reads as ""). */
HNI_API HNIHandle HNIAllocString(const char* text);
/* The string's text, valid while the string lives; NULL for anything but a live string. */
HNI_API const char* HNIGetStringText(HNIHandle string);

/* An array of `size` empty elements. */
HNI_API HNIHandle HNIAllocArray(uint32_t size);
/* Stores `element` (a reference is taken; HNI_NONE empties the place) and releases what was
 * there. */
HNI_API int HNISetArrayElement(HNIHandle array, uint32_t index, HNIHandle element);
/* The element, borrowed (no reference taken); HNI_NONE when empty or out of range. */
HNI_API HNIHandle HNIGetArrayElement(HNIHandle array, uint32_t index);
/* The number of elements; a negative code for anything but a live array. */
HNI_API int32_t HNIGetArraySize(HNIHandle array);

/* An object of a class named by text, carrying `data` for its operations (ops may be NULL). */
HNI_API HNIHandle HNIAllocObject(const char* className, const HNIObjectOps* ops, void* data);
/* A library object: an object whose named functions the host can call. The table and names
 * are copied. */
HNI_API HNIHandle HNIAllocLibrary(const char* className, const HNILibraryEntry* functions,
                                  uint32_t count, const HNIObjectOps* ops, void* data);
/* The class name of an object; NULL for anything but a live object. */
HNI_API const char* HNIGetObjectClass(HNIHandle object);
HNI_API void* HNIGetObjectData(HNIHandle object);
/* Runs notify1, 2 or 3 (`operation`) of an object; HNI_OK also when it has none. */
HNI_API int HNINotifyObject(HNIHandle object, int operation);

/* Calls the library's function named by the string `function` with the argument array `args`
 * (or HNI_NONE). Its result (the caller releases it), or HNI_NONE when the handles are bad or
 * the library has no such function; `status`, when given, tells which. */
HNI_API HNIHandle HNICallLibraryFunction(HNIHandle library, HNIHandle function, HNIHandle args);
HNI_API HNIHandle HNICallLibraryFunctionStatus(HNIHandle library, HNIHandle function,
                                               HNIHandle args, int* status);

HNI_API int HNIAddRef(HNIHandle value);
/* Drops one reference; HNI_NONE is ignored (HNI_OK). */
HNI_API int HNIRelease(HNIHandle value);
/* Live values in the table, for leak checks. */
HNI_API uint32_t HNILiveCount(void);

#endif
