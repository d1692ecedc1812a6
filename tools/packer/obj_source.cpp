#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sources.h"

namespace packer {

namespace {

struct Corner {
    long v = 0, n = 0;
};

// "v", "v/t", "v//n" or "v/t/n"; negative indices count back from the end.
bool parseCorner(const std::string& word, Corner& c) {
    char* end = nullptr;
    c.v = strtol(word.c_str(), &end, 10);
    if (end == word.c_str()) return false;
    c.n = 0;
    if (*end != '/') return true;
    ++end;
    if (*end != '/') strtol(end, &end, 10);
    if (*end != '/') return true;
    ++end;
    const char* start = end;
    c.n = strtol(start, &end, 10);
    return end != start;
}

bool resolve(long index, size_t count, size_t& out) {
    long i = index > 0 ? index - 1 : long(count) + index;
    if (index == 0 || i < 0 || size_t(i) >= count) return false;
    out = size_t(i);
    return true;
}

}  // namespace

bool readObj(const std::string& path, std::vector<ObjMesh>& meshes, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot be opened";
        return false;
    }
    std::vector<float> positions, normals;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (tag == "v" || tag == "vn") {
            float x, y, z;
            if (!(words >> x >> y >> z)) return fail("a " + tag + " line needs three numbers");
            auto& into = tag == "v" ? positions : normals;
            into.insert(into.end(), {x, y, z});
        } else if (tag == "o") {
            ObjMesh mesh;
            std::getline(words >> std::ws, mesh.name);
            while (!mesh.name.empty() && (mesh.name.back() == '\r' || mesh.name.back() == ' ')) mesh.name.pop_back();
            meshes.push_back(mesh);
        } else if (tag == "f") {
            if (meshes.empty()) return fail("a face before the first \"o\" line");
            std::vector<Corner> corners;
            for (std::string w; words >> w;) {
                Corner c;
                if (!parseCorner(w, c)) return fail("unreadable face corner \"" + w + "\"");
                corners.push_back(c);
            }
            if (corners.size() != 3) return fail("faces must be triangles (" + std::to_string(corners.size()) + " corners)");
            for (const Corner& c : corners) {
                size_t v, n;
                if (!resolve(c.v, positions.size() / 3, v)) return fail("vertex index out of range");
                if (c.n == 0) return fail("every face corner needs a normal");
                if (!resolve(c.n, normals.size() / 3, n)) return fail("normal index out of range");
                ObjMesh& m = meshes.back();
                m.vertices.insert(m.vertices.end(), &positions[v * 3], &positions[v * 3] + 3);
                m.normals.insert(m.normals.end(), &normals[n * 3], &normals[n * 3] + 3);
            }
        }
        // Comments, groups, smoothing and material lines carry nothing the pack keeps.
    }
    return true;
}

}  // namespace packer
