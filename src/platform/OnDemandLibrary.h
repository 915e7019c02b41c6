#pragma once

// A system library loaded the first time the client needs it, not at start: every library
// a program links is mapped and bound before main(), and each one lengthens the symbol
// lookups that follow. ZIP archives, the keyring and PAM are needed on some runs only.
//
// A table of the functions used is declared with the library's own prototypes:
//   #define ORVEL_LIBFOO(X) X(foo_open) X(foo_close)
//   struct LibFoo { ORVEL_LIBFOO(ORVEL_ON_DEMAND_MEMBER) static const LibFoo* load(); };
// and loaded once with ORVEL_ON_DEMAND_LOAD(LibFoo, ORVEL_LIBFOO, "libfoo.so.1").
namespace OnDemandLibrary {
// The library, kept for the life of the process; nullptr (logged) when it cannot be loaded.
void* open(const char* soname);
// The named function; nullptr (logged) when the library lacks it.
void* function(void* library, const char* name);
} // namespace OnDemandLibrary

// NOLINTNEXTLINE(bugprone-macro-parentheses): name is a declarator here.
#define ORVEL_ON_DEMAND_MEMBER(name) decltype(&::name) name = nullptr;
#define ORVEL_ON_DEMAND_RESOLVE(name)                                                              \
    &&(table.name = reinterpret_cast<decltype(&::name)>(                                           \
           OnDemandLibrary::function(library, #name))) != nullptr

// The table, or nullptr when the library or one of its functions is missing.
#define ORVEL_ON_DEMAND_LOAD(Table, FUNCTIONS, soname)                                             \
    const Table* Table::load() {                                                                   \
        static const Table* const loaded = []() -> const Table* {                                  \
            static Table table;                                                                    \
            void* library = OnDemandLibrary::open(soname);                                         \
            return library != nullptr FUNCTIONS(ORVEL_ON_DEMAND_RESOLVE) ? &table : nullptr;       \
        }();                                                                                       \
        return loaded;                                                                             \
    }
