// The handle table of the native plug-in interface. A handle is (generation << 32) | (index +
// 1): a released slot's generation moves on, so an old handle no longer matches and is refused.
// Values keep their bytes in one block from the allocator that was set when they were made.
#include "platform/nativeinterface/hni.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

enum class Kind : uint8_t { kFree, kString, kArray, kObject };

struct ObjectBody {
    HNIObjectOps ops;
    void* data;
    uint32_t functionCount;
    HNILibraryEntry* functions;  // inside the block, names too
    char* className;             // inside the block
};

struct Slot {
    uint32_t generation = 1;
    Kind kind = Kind::kFree;
    int32_t refs = 0;
    uint32_t size = 0;  // array elements
    void* block = nullptr;
    HNIFreeFunction release = nullptr;
    uint32_t nextFree = 0;  // index + 1 of the next free slot, 0 for none
};

void* DefaultAlloc(size_t bytes) {
    return std::malloc(bytes);
}
void DefaultFree(void* block) {
    std::free(block);
}

class Table {
public:
    std::mutex mutex;
    std::vector<Slot> slots;
    uint32_t freeHead = 0;
    uint32_t live = 0;
    HNIAllocFunction allocate = DefaultAlloc;
    HNIFreeFunction release = DefaultFree;

    // Under the lock: the slot of a live handle, of the kind when one is asked for.
    Slot* Find(HNIHandle h, Kind kind, int* error) {
        const uint32_t index = static_cast<uint32_t>(h & 0xFFFFFFFFu);
        const uint32_t generation = static_cast<uint32_t>(h >> 32);
        if (index == 0 || index > slots.size()) {
            if (error) *error = HNI_BAD_HANDLE;
            return nullptr;
        }
        Slot& s = slots[index - 1];
        if (s.kind == Kind::kFree || s.generation != generation) {
            if (error) *error = HNI_BAD_HANDLE;
            return nullptr;
        }
        if (kind != Kind::kFree && s.kind != kind) {
            if (error) *error = HNI_WRONG_KIND;
            return nullptr;
        }
        return &s;
    }

    // Under the lock: a new value owning `block`.
    HNIHandle Insert(Kind kind, void* block, HNIFreeFunction blockRelease, uint32_t size) {
        uint32_t index;
        if (freeHead != 0) {
            index = freeHead - 1;
            freeHead = slots[index].nextFree;
        } else {
            slots.emplace_back();
            index = static_cast<uint32_t>(slots.size() - 1);
        }
        Slot& s = slots[index];
        s.kind = kind;
        s.refs = 1;
        s.size = size;
        s.block = block;
        s.release = blockRelease;
        s.nextFree = 0;
        ++live;
        return (static_cast<HNIHandle>(s.generation) << 32) | (index + 1);
    }

    // Under the lock: empties the slot and gives what its block needs to be freed.
    void Retire(Slot& s) {
        s.kind = Kind::kFree;
        s.refs = 0;
        s.block = nullptr;
        s.release = nullptr;
        if (++s.generation == 0) s.generation = 1;
        s.nextFree = freeHead;
        freeHead = static_cast<uint32_t>(&s - slots.data()) + 1;
        --live;
    }
};

Table& TheTable() {
    static Table* table = new Table;  // outlives every static destructor that may release
    return *table;
}

void FreeValue(Kind kind, void* block, HNIFreeFunction release, uint32_t size);

// Drops one reference; the value is freed outside the lock when it was the last.
int ReleaseHandle(HNIHandle h) {
    if (h == HNI_NONE) return HNI_OK;
    Table& t = TheTable();
    Kind kind;
    void* block;
    HNIFreeFunction release;
    uint32_t size;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        int error = HNI_OK;
        Slot* s = t.Find(h, Kind::kFree, &error);
        if (s == nullptr) return error;
        if (--s->refs > 0) return HNI_OK;
        kind = s->kind;
        block = s->block;
        release = s->release;
        size = s->size;
        t.Retire(*s);
    }
    FreeValue(kind, block, release, size);
    return HNI_OK;
}

void FreeValue(Kind kind, void* block, HNIFreeFunction release, uint32_t size) {
    if (kind == Kind::kArray) {
        auto* elements = static_cast<HNIHandle*>(block);
        for (uint32_t i = 0; i < size; ++i)
            ReleaseHandle(elements[i]);
    } else if (kind == Kind::kObject) {
        auto* body = static_cast<ObjectBody*>(block);
        if (body->ops.destroy) body->ops.destroy(body->data);
    }
    release(block);
}

size_t Align8(size_t n) {
    return (n + 7) & ~size_t{7};
}

HNIHandle NewObject(const char* className, const HNILibraryEntry* functions, uint32_t count,
                    const HNIObjectOps* ops, void* data) {
    if (className == nullptr) className = "";
    if (count != 0 && functions == nullptr) return HNI_NONE;
    size_t bytes = Align8(sizeof(ObjectBody)) + Align8(sizeof(HNILibraryEntry) * count);
    const size_t namesAt = bytes;
    bytes += std::strlen(className) + 1;
    for (uint32_t i = 0; i < count; ++i) {
        if (functions[i].name == nullptr || functions[i].function == nullptr) return HNI_NONE;
        bytes += std::strlen(functions[i].name) + 1;
    }
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    char* block = static_cast<char*>(t.allocate(bytes));
    if (block == nullptr) return HNI_NONE;
    auto* body = new (block) ObjectBody{};
    if (ops) body->ops = *ops;
    body->data = data;
    body->functionCount = count;
    body->functions = reinterpret_cast<HNILibraryEntry*>(block + Align8(sizeof(ObjectBody)));
    char* names = block + namesAt;
    body->className = names;
    std::strcpy(names, className);
    names += std::strlen(className) + 1;
    for (uint32_t i = 0; i < count; ++i) {
        std::strcpy(names, functions[i].name);
        body->functions[i].name = names;
        body->functions[i].function = functions[i].function;
        names += std::strlen(names) + 1;
    }
    return t.Insert(Kind::kObject, block, t.release, 0);
}

}  // namespace

HNI_API void HNISetAllocator(HNIAllocFunction allocate, HNIFreeFunction release) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    const bool pair = allocate != nullptr && release != nullptr;
    t.allocate = pair ? allocate : DefaultAlloc;
    t.release = pair ? release : DefaultFree;
}

HNI_API HNIHandle HNIAllocString(const char* text) {
    if (text == nullptr) text = "";
    const size_t n = std::strlen(text) + 1;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    void* block = t.allocate(n);
    if (block == nullptr) return HNI_NONE;
    std::memcpy(block, text, n);
    return t.Insert(Kind::kString, block, t.release, 0);
}

HNI_API const char* HNIGetStringText(HNIHandle string) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = t.Find(string, Kind::kString, nullptr);
    return s ? static_cast<const char*>(s->block) : nullptr;
}

HNI_API HNIHandle HNIAllocArray(uint32_t size) {
    // One element at least, so an empty array still owns a block of its own.
    const size_t bytes = sizeof(HNIHandle) * (size == 0 ? 1 : size);
    if (size > (1u << 24)) return HNI_NONE;
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    void* block = t.allocate(bytes);
    if (block == nullptr) return HNI_NONE;
    std::memset(block, 0, bytes);
    return t.Insert(Kind::kArray, block, t.release, size);
}

HNI_API int HNISetArrayElement(HNIHandle array, uint32_t index, HNIHandle element) {
    Table& t = TheTable();
    HNIHandle old;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        int error = HNI_OK;
        Slot* s = t.Find(array, Kind::kArray, &error);
        if (s == nullptr) return error;
        if (index >= s->size) return HNI_OUT_OF_RANGE;
        if (element != HNI_NONE) {
            Slot* e = t.Find(element, Kind::kFree, &error);
            if (e == nullptr) return error;
            ++e->refs;
        }
        auto* elements = static_cast<HNIHandle*>(s->block);
        old = elements[index];
        elements[index] = element;
    }
    ReleaseHandle(old);
    return HNI_OK;
}

HNI_API HNIHandle HNIGetArrayElement(HNIHandle array, uint32_t index) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = t.Find(array, Kind::kArray, nullptr);
    if (s == nullptr || index >= s->size) return HNI_NONE;
    return static_cast<HNIHandle*>(s->block)[index];
}

HNI_API int32_t HNIGetArraySize(HNIHandle array) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    int error = HNI_OK;
    Slot* s = t.Find(array, Kind::kArray, &error);
    return s ? static_cast<int32_t>(s->size) : error;
}

HNI_API HNIHandle HNIAllocObject(const char* className, const HNIObjectOps* ops, void* data) {
    return NewObject(className, nullptr, 0, ops, data);
}

HNI_API HNIHandle HNIAllocLibrary(const char* className, const HNILibraryEntry* functions,
                                  uint32_t count, const HNIObjectOps* ops, void* data) {
    return NewObject(className, functions, count, ops, data);
}

HNI_API const char* HNIGetObjectClass(HNIHandle object) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = t.Find(object, Kind::kObject, nullptr);
    return s ? static_cast<ObjectBody*>(s->block)->className : nullptr;
}

HNI_API void* HNIGetObjectData(HNIHandle object) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = t.Find(object, Kind::kObject, nullptr);
    return s ? static_cast<ObjectBody*>(s->block)->data : nullptr;
}

HNI_API int HNINotifyObject(HNIHandle object, int operation) {
    if (operation < 1 || operation > 3) return HNI_OUT_OF_RANGE;
    Table& t = TheTable();
    void (*op)(void*) = nullptr;
    void* data = nullptr;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        int error = HNI_OK;
        Slot* s = t.Find(object, Kind::kObject, &error);
        if (s == nullptr) return error;
        auto* body = static_cast<ObjectBody*>(s->block);
        op = operation == 1   ? body->ops.notify1
             : operation == 2 ? body->ops.notify2
                              : body->ops.notify3;
        data = body->data;
        ++s->refs;  // kept alive through the call
    }
    if (op) op(data);
    ReleaseHandle(object);
    return HNI_OK;
}

HNI_API HNIHandle HNICallLibraryFunctionStatus(HNIHandle library, HNIHandle function,
                                               HNIHandle args, int* status) {
    int dummy;
    int& result = status ? *status : dummy;
    Table& t = TheTable();
    HNILibraryFunction call = nullptr;
    void* data = nullptr;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        Slot* lib = t.Find(library, Kind::kObject, &result);
        if (lib == nullptr) return HNI_NONE;
        Slot* name = t.Find(function, Kind::kString, &result);
        if (name == nullptr) return HNI_NONE;
        if (args != HNI_NONE && t.Find(args, Kind::kArray, &result) == nullptr) return HNI_NONE;
        auto* body = static_cast<ObjectBody*>(lib->block);
        const char* text = static_cast<const char*>(name->block);
        for (uint32_t i = 0; i < body->functionCount; ++i) {
            if (std::strcmp(body->functions[i].name, text) == 0) {
                call = body->functions[i].function;
                break;
            }
        }
        if (call == nullptr) {
            result = HNI_NO_FUNCTION;
            return HNI_NONE;
        }
        data = body->data;
        ++lib->refs;  // the library and its arguments live through the call
        if (args != HNI_NONE) ++t.Find(args, Kind::kArray, nullptr)->refs;
    }
    result = HNI_OK;
    HNIHandle out = call(library, args, data);
    ReleaseHandle(args);
    ReleaseHandle(library);
    return out;
}

HNI_API HNIHandle HNICallLibraryFunction(HNIHandle library, HNIHandle function, HNIHandle args) {
    return HNICallLibraryFunctionStatus(library, function, args, nullptr);
}

HNI_API int HNIAddRef(HNIHandle value) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    int error = HNI_OK;
    Slot* s = t.Find(value, Kind::kFree, &error);
    if (s == nullptr) return error;
    ++s->refs;
    return HNI_OK;
}

HNI_API int HNIRelease(HNIHandle value) {
    return ReleaseHandle(value);
}

HNI_API uint32_t HNILiveCount(void) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.live;
}
