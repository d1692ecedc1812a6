#include "platform/sway_tree_wayland.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "platform/clock.h"

namespace vyr::platform {

namespace {

using json = nlohmann::json;

constexpr char ipcMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr uint32_t subscribe = 2, getTree = 4;
constexpr uint64_t answerWaitNs = 2000000000ull;

// Reads `size` bytes before the deadline.
bool readAll(int fd, char* to, size_t size, uint64_t deadline) {
    while (size > 0) {
        const uint64_t now = performanceCounter();
        pollfd wait = {fd, POLLIN, 0};
        if (now >= deadline || poll(&wait, 1, int((deadline - now) / 1000000 + 1)) <= 0) return false;
        const ssize_t got = read(fd, to, size);
        if (got <= 0) return false;
        to += got;
        size -= size_t(got);
    }
    return true;
}

int connectToSway(const char* socketPath, std::string& why) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (strlen(socketPath) >= sizeof address.sun_path) {
        why = "the sway socket's path is too long";
        return -1;
    }
    strcpy(address.sun_path, socketPath);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        why = std::string("sway's socket could not be reached: ") + strerror(errno);
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

// The i3 IPC framing: the magic, the payload's length and the message type, in the host's byte order.
bool sendMessage(int fd, uint32_t type, const std::string& payload) {
    std::string message(ipcMagic, sizeof ipcMagic);
    const uint32_t length = uint32_t(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message += payload;
    return send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size());
}

struct Found {
    const json* node = nullptr;
    const json* workspace = nullptr;
    const json* output = nullptr;
    bool floating = false;
};

bool isView(const json& node) { return node.contains("window") || node.contains("app_id"); }

// The X window `xWindow`, or with 0 there the Wayland (xdg-shell) window of process `pid`.
bool isOurs(const json& node, uint64_t xWindow, int pid) {
    const json& window = node.contains("window") ? node["window"] : json();
    if (xWindow) return window.is_number_unsigned() && window.get<uint64_t>() == xWindow;
    const json& owner = node.contains("pid") ? node["pid"] : json();
    return node.value("shell", "") == "xdg_shell" && owner.is_number_integer() && owner.get<int>() == pid;
}

void findWindow(const json& node, uint64_t xWindow, int pid, const json* output, const json* workspace,
                bool floating, Found& found) {
    if (found.node || !node.is_object()) return;
    const std::string type = node.value("type", "");
    if (type == "output") output = &node;
    if (type == "workspace") workspace = &node;
    if (isOurs(node, xWindow, pid)) {
        found = {&node, workspace, output, floating};
        return;
    }
    for (const char* list : {"nodes", "floating_nodes"})
        if (node.contains(list) && node[list].is_array())
            for (const json& child : node[list])
                findWindow(child, xWindow, pid, output, workspace, floating || strcmp(list, "floating_nodes") == 0,
                           found);
}

// What a person would call a view: its Wayland app_id, its X class, its title.
std::string viewName(const json& node) {
    if (node.contains("app_id") && node["app_id"].is_string()) return node["app_id"];
    if (node.contains("window_properties") && node["window_properties"].contains("class") &&
        node["window_properties"]["class"].is_string())
        return node["window_properties"]["class"];
    if (node.contains("name") && node["name"].is_string()) return node["name"];
    return "?";
}

bool contains(const json& node, const json* inner) {
    if (&node == inner) return true;
    for (const char* list : {"nodes", "floating_nodes"})
        if (node.contains(list) && node[list].is_array())
            for (const json& child : node[list])
                if (contains(child, inner)) return true;
    return false;
}

// A shown fullscreen container under `node` that does not hold ours.
const json* fullscreenOther(const json& node, const json* ours) {
    if (!node.is_object()) return nullptr;
    if (node.value("fullscreen_mode", 0) != 0 && node.value("type", "") != "workspace" && !contains(node, ours))
        return &node;
    for (const char* list : {"nodes", "floating_nodes"})
        if (node.contains(list) && node[list].is_array())
            for (const json& child : node[list])
                if (const json* found = fullscreenOther(child, ours)) return found;
    return nullptr;
}

// The first view inside `node` (a container may hold several; its name is its first view's).
const json* firstView(const json& node) {
    if (isView(node)) return &node;
    for (const char* list : {"nodes", "floating_nodes"})
        if (node.contains(list) && node[list].is_array())
            for (const json& child : node[list])
                if (const json* view = firstView(child)) return view;
    return nullptr;
}

bool rectOverlaps(const json& node, const LayoutArea& area) {
    if (area.width == 0 || area.height == 0 || !node.contains("rect") || !node["rect"].is_object()) return false;
    const json& r = node["rect"];
    const int64_t x = r.value("x", 0), y = r.value("y", 0), w = r.value("width", 0), h = r.value("height", 0);
    return x < area.left + int64_t(area.width) && area.left < x + w && y < area.top + int64_t(area.height) &&
           area.top < y + h;
}

}  // namespace

bool askSwayTree(const char* socketPath, std::string& tree, std::string& why) {
    const int fd = connectToSway(socketPath, why);
    if (fd < 0) return false;
    char header[sizeof ipcMagic + 8];
    const uint64_t deadline = performanceCounter() + answerWaitNs;
    bool read = sendMessage(fd, getTree, "") && readAll(fd, header, sizeof header, deadline) &&
                memcmp(header, ipcMagic, sizeof ipcMagic) == 0;
    uint32_t answerLength = 0;
    if (read) {
        memcpy(&answerLength, header + sizeof ipcMagic, 4);
        tree.resize(answerLength);
        read = readAll(fd, &tree[0], answerLength, deadline);
    }
    close(fd);
    if (!read) why = "sway did not answer GET_TREE";
    return read;
}

int subscribeSwayEvents(const char* socketPath, std::string& why) {
    const int fd = connectToSway(socketPath, why);
    if (fd >= 0 && !sendMessage(fd, subscribe, "[\"window\",\"workspace\"]")) {
        why = "sway did not take the subscription to its window events";
        close(fd);
        return -1;
    }
    return fd;  // its answer comes as the first thing swayEventsCame takes
}

bool swayEventsCame(int fd) {
    bool came = false;
    char buffer[4096];
    for (;;) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            came = true;
            continue;
        }
        return came || got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }
}

bool swayWindowArea(const std::string& tree, int pid, LayoutArea& area) {
    const json root = json::parse(tree, nullptr, false);
    Found found;
    if (!root.is_discarded()) findWindow(root, 0, pid, nullptr, nullptr, false, found);
    if (!found.node || !found.node->contains("rect") || !found.node->contains("window_rect")) return false;
    const json& rect = (*found.node)["rect"];
    const json& client = (*found.node)["window_rect"];
    area = {rect.value("x", 0) + client.value("x", 0), rect.value("y", 0) + client.value("y", 0),
            client.value("width", 0u), client.value("height", 0u)};
    return area.width > 0 && area.height > 0;
}

bool swayShowsWindow(const std::string& tree, uint64_t xWindow, const LayoutArea& area, std::string& why, int pid) {
    const json root = json::parse(tree, nullptr, false);
    Found found;
    if (!root.is_discarded()) findWindow(root, xWindow, pid, nullptr, nullptr, false, found);
    if (!found.node) return true;
    const json& ours = *found.node;
    if (ours.value("visible", true)) {
        // sway's "visible" leaves out floating windows stacked over ours:
        // those after it, or any over a tiled window.
        if (!found.workspace || !found.workspace->contains("floating_nodes")) return true;
        bool above = !found.floating;
        for (const json& floating : (*found.workspace)["floating_nodes"]) {
            if (contains(floating, &ours)) {
                above = true;
                continue;
            }
            const json* view = firstView(floating);
            if (above && rectOverlaps(floating, area) && view && view->value("visible", true)) {
                why = "covered by the Wayland window \"" + viewName(*view) + "\"";
                return false;
            }
        }
        return true;
    }
    if (found.workspace && found.output && found.output->contains("current_workspace") &&
        (*found.output)["current_workspace"] != (*found.workspace)["name"]) {
        why = "on a workspace sway does not show";
        return false;
    }
    const json* cover = found.workspace ? fullscreenOther(*found.workspace, &ours) : nullptr;
    if (!cover) cover = fullscreenOther(root, &ours);
    if (cover) {
        const json* view = firstView(*cover);
        why = "covered by the Wayland window \"" + (view ? viewName(*view) : viewName(*cover)) + "\" shown full screen";
        return false;
    }
    why = "not shown by sway (in a tab or stack not chosen)";
    return false;
}

}  // namespace vyr::platform
