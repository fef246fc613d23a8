// Temporary directories and whole files for the Windows tests (INI files,
// mailboxes, records written by other processes).
#ifndef PELIMBO_TESTS_CONFIG_WINFILES_H
#define PELIMBO_TESTS_CONFIG_WINFILES_H

#include <windows.h>
#include <stdio.h>

#include <string>

// A fresh directory under the temp folder, removed with everything in it.
class TempDir
{
  public:
    TempDir()
    {
        static int serial;
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%spelcfg%lu_%d", base, GetCurrentProcessId(), ++serial);
        path = name;
        CreateDirectoryA(path.c_str(), NULL);
    }
    ~TempDir()
    {
        removeTree(path);
    }
    std::string operator/(const std::string &name) const
    {
        return path + "\\" + name;
    }
    std::string path;

  private:
    static void removeTree(const std::string &dir)
    {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = dir + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    removeTree(full);
                else {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(full.c_str());
                }
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
};

// Writes (or with append, adds to) a whole file. False when it could not be written.
inline bool writeFile(const std::string &path, const std::string &text, bool append = false)
{
    FILE *f = fopen(path.c_str(), append ? "ab" : "wb");
    bool written = false;
    if (f) {
        written = fwrite(text.data(), 1, text.size(), f) == text.size();
        written = fclose(f) == 0 && written;
    }
    // The profile functions keep files cached; make them look again.
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    return written;
}

inline std::string readFile(const std::string &path)
{
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

inline std::string currentDirectoryNow()
{
    char dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    return dir;
}

#endif
