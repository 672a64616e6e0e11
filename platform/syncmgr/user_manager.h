#pragma once
// The sync manager's user manager (CDCMN21) as a C++ class: given the user data folder, it walks
// the desktop users. Each CUser gives an id, a name and a folder name.
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"

class TESS_EXPORT CUser {
public:
    CUser() = default;
    CUser(int id, std::string name, std::string folder) : id_(id), name_(std::move(name)), folder_(std::move(folder)) {}
    int GetId() const { return id_; }
    const char* GetName() const { return name_.c_str(); }
    const char* GetFolder() const { return folder_.c_str(); }

private:
    int id_ = 0;
    std::string name_;
    std::string folder_;
};

class TESS_EXPORT CUserMgr {
public:
    CUserMgr();
    ~CUserMgr();
    CUserMgr(const CUserMgr&) = delete;
    CUserMgr& operator=(const CUserMgr&) = delete;

    // The user data folder (as RosterGetUserDataFolder gives it, with or without '/').
    void SetDirectory(const char* directory);
    const char* GetDirectory() const { return directory_.c_str(); }

    // FindFirst reads the users of the folder and gives the first; FindNext the one after.
    // 0 with *user set while users remain; SYNCERR_NOT_FOUND with *user null at the end;
    // another code (with *user null) when the users cannot be read. *user stays owned by
    // the manager and valid until the next Find call.
    int FindFirst(CUser** user);
    int FindNext(CUser** user);

private:
    std::string directory_;
    std::vector<CUser> users_;
    size_t next_ = 0;
};
