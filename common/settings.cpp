#include "common/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/paths.h"
#include "common/setting_values.h"
#include "common/strings.h"

namespace vyr {

namespace {

constexpr size_t kInstallBufferSize = 1024;

IniFile* openIfPresent(const char* path) { return fileExists(path) ? new IniFile(path, false) : nullptr; }

// Reloads file; a file that fails is reported, destroyed and its slot emptied.
void reloadOrDrop(IniFile*& file) {
    if (!file) return;
    file->reload();
    if (const IniError* error = file->lastError()) {
        fprintf(stderr, "Cannot parse .ini file \"%s\":<errnum %d> <linenum %d> <errstr %s>\n",
                file->fileName() ? file->fileName() : "", int(error->code), int(error->line), error->text);
        delete file;
        file = nullptr;
    }
}

const char* fileValue(IniFile* file, const char* section, const char* name) {
    return file ? file->getValue(section, name) : nullptr;
}

}  // namespace

Settings::Settings() {
    char install[kInstallBufferSize];
    installDirectory(install, sizeof install);
    char* systemPath = joinPath(install, "conf", "vyr.conf", nullptr);
    char* adminPath = nullptr;
    if (systemPath) {
        size_t size = strlen(systemPath) + 7;
        adminPath = static_cast<char*>(malloc(size));
        if (adminPath) snprintf(adminPath, size, "%s.admin", systemPath);
    }
    const char* userDir = getenv("VYR_USER_CONFIG_DIR");
    char* userPath = userDir && userDir[0] ? joinPath(userDir, "vyr.conf", nullptr)
                                           : joinPath(homeDirectory(), "vyr", "conf", "vyr.conf", nullptr);
    adminFile = openIfPresent(adminPath);
    userFile = openIfPresent(userPath);
    systemFile = openIfPresent(systemPath);
    free(adminPath);
    free(userPath);
    free(systemPath);
}

Settings::~Settings() {
    delete adminFile;
    delete userFile;
    delete systemFile;
}

void Settings::load() {
    reloadOrDrop(adminFile);
    reloadOrDrop(userFile);
    reloadOrDrop(systemFile);
}

char* Settings::getString(const char* variable, const char* section, const char* name, const char* fallback) {
    const char* value = fileValue(adminFile, section, name);
    if (conf::usableString(value)) return copyText(value);
    char buffer[conf::kStringBufferSize];
    conf::readEnvironment(variable, buffer, sizeof buffer);
    if (conf::usableString(buffer)) return copyText(buffer);
    value = fileValue(userFile, section, name);
    if (conf::usableString(value)) return copyText(value);
    value = fileValue(systemFile, section, name);
    if (conf::usableString(value)) return copyText(value);
    return copyText(fallback);
}

int32_t Settings::getInteger(const char* variable, const char* section, const char* name, int32_t fallback) {
    int32_t result = 0;
    if (conf::parseInteger(fileValue(adminFile, section, name), &result)) return result;
    char buffer[conf::kIntegerBufferSize];
    conf::readEnvironment(variable, buffer, sizeof buffer);
    if (conf::parseInteger(buffer, &result)) return result;
    if (conf::parseInteger(fileValue(userFile, section, name), &result)) return result;
    if (conf::parseInteger(fileValue(systemFile, section, name), &result)) return result;
    return fallback;
}

bool Settings::getBoolean(const char* variable, const char* section, const char* name, bool fallback) {
    bool result = false;
    if (conf::parseBoolean(fileValue(adminFile, section, name), &result)) return result;
    char buffer[conf::kBooleanBufferSize];
    conf::readEnvironment(variable, buffer, sizeof buffer);
    if (conf::parseBoolean(buffer, &result)) return result;
    if (conf::parseBoolean(fileValue(userFile, section, name), &result)) return result;
    if (conf::parseBoolean(fileValue(systemFile, section, name), &result)) return result;
    return fallback;
}

namespace conf {

namespace {

void releaseStrings(Settings& settings) {
    for (size_t i = 0; i < settingKeyCount; ++i) {
        if (settingKeys[i].type != SettingType::String) continue;
        char*& field = settings.*settingKeys[i].stringField;
        free(field);
        field = nullptr;
    }
}

}  // namespace

Settings::Settings() {
    for (size_t i = 0; i < settingKeyCount; ++i) {
        const SettingKey& key = settingKeys[i];
        switch (key.type) {
            case SettingType::String: this->*key.stringField = nullptr; break;
            case SettingType::Integer: this->*key.integerField = 0; break;
            case SettingType::Boolean: this->*key.booleanField = false; break;
        }
    }
    load();
}

Settings::~Settings() { releaseStrings(*this); }

void Settings::load() {
    vyr::Settings::load();
    releaseStrings(*this);
    for (size_t i = 0; i < settingKeyCount; ++i) {
        const SettingKey& key = settingKeys[i];
        switch (key.type) {
            case SettingType::String:
                this->*key.stringField = getString(key.variable, key.section, key.name, key.stringDefault);
                break;
            case SettingType::Integer:
                this->*key.integerField = getInteger(key.variable, key.section, key.name, key.integerDefault);
                break;
            case SettingType::Boolean:
                this->*key.booleanField = getBoolean(key.variable, key.section, key.name, key.booleanDefault);
                break;
        }
    }
}

}  // namespace conf
}  // namespace vyr
