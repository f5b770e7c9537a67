#include "tools/zuq/pe/resource_section.h"

#include "tools/zuq/pe/byte_io.h"
#include "tools/zuq/pe/pe_format.h"

#include <algorithm>
#include <map>
#include <string>

namespace zuq::pe::detail {

namespace t = format::resource_table;

namespace {

// Letters of ASCII and Latin-1; other characters compare as they are.
char16_t upper(char16_t c) {
    const bool latin1Lower = c >= 0xE0 && c <= 0xFE && c != 0xF7;
    return (c >= u'a' && c <= u'z') || latin1Lower ? static_cast<char16_t>(c - 0x20) : c;
}

std::u16string uppercase(const std::u16string& s) {
    std::u16string u = s;
    std::transform(u.begin(), u.end(), u.begin(), upper);
    return u;
}

bool sameKey(const ResourceId& a, const ResourceId& b) {
    return !keyLess(a, b) && !keyLess(b, a);
}

struct NameNode {
    ResourceId name;
    std::vector<const Resource*> languages;
};

struct TypeNode {
    ResourceId type;
    std::vector<NameNode> names;
};

std::string describe(const ResourceId& id) {
    if (!id.isName()) {
        return std::to_string(id.id);
    }
    std::string s;
    for (char16_t c : id.name) {
        s += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return "\"" + s + "\"";
}

std::vector<const Resource*> sortedResources(const std::vector<Resource>& resources) {
    std::vector<const Resource*> sorted;
    for (const Resource& r : resources) {
        if (r.type.name.size() > 0xFFFF || r.name.name.size() > 0xFFFF) {
            throw PeError("resource name longer than 65535 characters");
        }
        sorted.push_back(&r);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
        if (!sameKey(a->type, b->type)) {
            return keyLess(a->type, b->type);
        }
        if (!sameKey(a->name, b->name)) {
            return keyLess(a->name, b->name);
        }
        return a->language < b->language;
    });
    return sorted;
}

std::vector<TypeNode> buildTree(const std::vector<Resource>& resources) {
    std::vector<TypeNode> types;
    for (const Resource* r : sortedResources(resources)) {
        if (types.empty() || !sameKey(types.back().type, r->type)) {
            types.push_back({r->type, {}});
        }
        auto& names = types.back().names;
        if (names.empty() || !sameKey(names.back().name, r->name)) {
            names.push_back({r->name, {}});
        }
        auto& languages = names.back().languages;
        if (!languages.empty() && languages.back()->language == r->language) {
            throw PeError("resource type " + describe(r->type) + " name " + describe(r->name) +
                          " language " + std::to_string(r->language) + " is given twice");
        }
        languages.push_back(r);
    }
    return types;
}

std::uint32_t tableSize(std::size_t entries) {
    if (entries > 0xFFFF) {
        throw PeError("more than 65535 resources in one directory table");
    }
    return t::size + static_cast<std::uint32_t>(entries) * t::entrySize;
}

class SectionWriter {
  public:
    SectionWriter(const std::vector<TypeNode>& types, std::uint32_t rva)
        : types_(types), rva_(rva) {}

    Bytes write() {
        planTables();
        planStrings();
        planData();
        writeTables();
        writeLeaves();
        return std::move(out_);
    }

  private:
    void planTables() {
        std::uint32_t next = tableSize(types_.size());
        for (const TypeNode& type : types_) {
            typeTables_.push_back(next);
            next += tableSize(type.names.size());
        }
        for (const TypeNode& type : types_) {
            for (const NameNode& name : type.names) {
                nameTables_.push_back(next);
                next += tableSize(name.languages.size());
                leafCount_ += name.languages.size();
            }
        }
        dataEntries_ = next;
        end_ = next + static_cast<std::uint32_t>(leafCount_) * t::dataEntrySize;
    }

    void addString(const ResourceId& id) {
        if (id.isName() && strings_.emplace(id.name, end_).second) {
            end_ += 2 + static_cast<std::uint32_t>(id.name.size()) * 2;
        }
    }

    void planStrings() {
        for (const TypeNode& type : types_) {
            addString(type.type);
            for (const NameNode& name : type.names) {
                addString(name.name);
            }
        }
    }

    void planData() {
        std::uint64_t at = end_;
        for (const TypeNode& type : types_) {
            for (const NameNode& name : type.names) {
                for (const Resource* r : name.languages) {
                    at = alignUp(at, format::resourceDataAlignment);
                    dataOffsets_.push_back(at);
                    at += r->data.size();
                }
            }
        }
        if (at + rva_ > 0xFFFFFFFFu) {
            throw PeError("resources too large for an image: " + std::to_string(at) + " bytes");
        }
        out_.assign(static_cast<std::size_t>(at), 0);
    }

    std::uint32_t keyField(const ResourceId& id) const {
        return id.isName() ? t::highBit | strings_.at(id.name) : id.id;
    }

    std::uint32_t writeTable(std::uint32_t at, std::size_t named, std::size_t ids) {
        write16(out_, at + t::numberOfNamedEntries, static_cast<std::uint16_t>(named));
        write16(out_, at + t::numberOfIdEntries, static_cast<std::uint16_t>(ids));
        return at + t::size;
    }

    template <typename Node, typename KeyOf>
    std::uint32_t writeTableOf(std::uint32_t at, const std::vector<Node>& nodes, KeyOf keyOf) {
        const auto named = std::count_if(nodes.begin(), nodes.end(),
                                         [&](const Node& n) { return keyOf(n).isName(); });
        return writeTable(at, static_cast<std::size_t>(named), nodes.size() - named);
    }

    void writeEntry(std::uint32_t at, std::uint32_t key, std::uint32_t target) {
        write32(out_, at, key);
        write32(out_, at + 4, target);
    }

    void writeTables() {
        auto typeKey = [](const TypeNode& n) -> const ResourceId& { return n.type; };
        auto nameKey = [](const NameNode& n) -> const ResourceId& { return n.name; };
        std::uint32_t rootEntry = writeTableOf(0, types_, typeKey);
        std::size_t nameIndex = 0;
        std::size_t leafIndex = 0;
        for (std::size_t i = 0; i < types_.size(); ++i, rootEntry += t::entrySize) {
            writeEntry(rootEntry, keyField(types_[i].type), t::highBit | typeTables_[i]);
            std::uint32_t typeEntry = writeTableOf(typeTables_[i], types_[i].names, nameKey);
            for (const NameNode& name : types_[i].names) {
                const std::uint32_t table = nameTables_[nameIndex++];
                writeEntry(typeEntry, keyField(name.name), t::highBit | table);
                typeEntry += t::entrySize;
                std::uint32_t langEntry = writeTable(table, 0, name.languages.size());
                for (const Resource* r : name.languages) {
                    const auto leaf =
                        static_cast<std::uint32_t>(dataEntries_ + leafIndex++ * t::dataEntrySize);
                    writeEntry(langEntry, r->language, leaf);
                    langEntry += t::entrySize;
                }
            }
        }
    }

    void writeLeaves() {
        for (const auto& [name, at] : strings_) {
            write16(out_, at, static_cast<std::uint16_t>(name.size()));
            for (std::size_t i = 0; i < name.size(); ++i) {
                write16(out_, at + 2 + i * 2, static_cast<std::uint16_t>(name[i]));
            }
        }
        std::size_t leafIndex = 0;
        for (const TypeNode& type : types_) {
            for (const NameNode& name : type.names) {
                for (const Resource* r : name.languages) {
                    writeLeaf(leafIndex++, *r);
                }
            }
        }
    }

    void writeLeaf(std::size_t index, const Resource& r) {
        const std::uint32_t entry =
            dataEntries_ + static_cast<std::uint32_t>(index) * t::dataEntrySize;
        const std::uint64_t offset = dataOffsets_[index];
        write32(out_, entry, rva_ + static_cast<std::uint32_t>(offset));
        write32(out_, entry + 4, static_cast<std::uint32_t>(r.data.size()));
        write32(out_, entry + 8, r.codePage);
        std::copy(r.data.begin(), r.data.end(), out_.begin() + static_cast<std::ptrdiff_t>(offset));
    }

    const std::vector<TypeNode>& types_;
    std::uint32_t rva_;
    std::vector<std::uint32_t> typeTables_;
    std::vector<std::uint32_t> nameTables_;
    std::size_t leafCount_ = 0;
    std::uint32_t dataEntries_ = 0;
    std::uint32_t end_ = 0;
    std::map<std::u16string, std::uint32_t> strings_;
    std::vector<std::uint64_t> dataOffsets_;
    Bytes out_;
};

} // namespace

bool keyLess(const ResourceId& a, const ResourceId& b) {
    if (a.isName() != b.isName()) {
        return a.isName();
    }
    if (a.isName()) {
        return uppercase(a.name) < uppercase(b.name);
    }
    return a.id < b.id;
}

Bytes buildResourceSection(const std::vector<Resource>& resources, std::uint32_t sectionRva) {
    const std::vector<TypeNode> types = buildTree(resources);
    return SectionWriter(types, sectionRva).write();
}

} // namespace zuq::pe::detail
