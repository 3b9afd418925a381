#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "app/doctor/device_check.h"

namespace {

class PosixNodeAccess final : public NodeAccess {
public:
    int tryOpenReadWrite(const std::string& node) override {
        const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        ::close(fd);
        return 0;
    }

    std::string groupOf(const std::string& node) override {
        struct stat st {};
        if (::stat(node.c_str(), &st) != 0) {
            return {};
        }
        const group* g = ::getgrgid(st.st_gid);
        return g != nullptr ? g->gr_name : std::string();
    }

    bool userInGroup(const std::string& name) override {
        const group* g = ::getgrnam(name.c_str());
        if (g == nullptr) {
            return false;
        }
        const gid_t wanted = g->gr_gid;
        if (::getegid() == wanted) {
            return true;
        }
        const int count = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(count > 0 ? count : 0);
        const int got = ::getgroups(static_cast<int>(groups.size()), groups.data());
        for (int i = 0; i < got; ++i) {
            if (groups[i] == wanted) {
                return true;
            }
        }
        return false;
    }

    bool hasAccessList(const std::string& node) override {
        return ::getxattr(node.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
    }
};

}  // namespace

std::unique_ptr<NodeAccess> createNodeAccess() {
    return std::make_unique<PosixNodeAccess>();
}
