#include "BuildIdentity.h"

#include <QDateTime>
#include <QFileInfo>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace sr {

namespace {

struct Search {
    std::uintptr_t address = 0;
    QByteArray id;
};

bool holds(const dl_phdr_info& object, std::uintptr_t address)
{
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object.dlpi_phdr[i];
        const std::uintptr_t start = object.dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && address >= start && address - start < segment.p_memsz)
            return true;
    }
    return false;
}

QByteArray buildIdNote(const dl_phdr_info& object)
{
    for (int i = 0; i < object.dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object.dlpi_phdr[i];
        if (segment.p_type != PT_NOTE)
            continue;
        const char* at = reinterpret_cast<const char*>(object.dlpi_addr + segment.p_vaddr);
        const char* end = at + segment.p_memsz;
        while (end - at >= qsizetype(sizeof(ElfW(Nhdr)))) {
            ElfW(Nhdr) note;
            std::memcpy(&note, at, sizeof(note));
            const char* name = at + sizeof(note);
            const char* description = name + ((note.n_namesz + 3) & ~3u);
            if (description + note.n_descsz > end)
                break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0)
                return QByteArray(description, note.n_descsz).toHex();
            at = description + ((note.n_descsz + 3) & ~3u);
        }
    }
    return {};
}

int visit(dl_phdr_info* object, size_t, void* data)
{
    auto* search = static_cast<Search*>(data);
    if (!holds(*object, search->address))
        return 0;
    search->id = buildIdNote(*object);
    return 1;
}

QByteArray fileIdentity(std::uintptr_t address)
{
    Dl_info info{};
    const QString path =
        dladdr(reinterpret_cast<void*>(address), &info) && info.dli_fname && *info.dli_fname
            ? QString::fromLocal8Bit(info.dli_fname)
            : QStringLiteral("/proc/self/exe");
    const QFileInfo file(path);
    return "file " + QByteArray::number(file.size()) + " " +
           QByteArray::number(file.lastModified().toMSecsSinceEpoch());
}

} // namespace

QByteArray buildIdentity()
{
    static const QByteArray identity = [] {
        Search search;
        search.address = reinterpret_cast<std::uintptr_t>(&buildIdentity);
        dl_iterate_phdr(visit, &search);
        return QByteArray(TOLVANE_VERSION " ") +
               (search.id.isEmpty() ? fileIdentity(search.address) : "build " + search.id);
    }();
    return identity;
}

} // namespace sr
