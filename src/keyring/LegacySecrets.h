#pragma once

#include <QString>

class FileItemStore;
class KeychainWrapper;
class Preferences;
class SecretServiceItemStore;

// Secrets that older versions left in files, moved where this version keeps them (or
// removed) at start. Each step is safe to run on every start: what was moved is gone.
class LegacySecrets {
public:
    // Every item of the file store into the keyring, keeping its reference; an item the
    // keyring would not take stays in its file. Returns how many moved.
    static int moveItems(FileItemStore& files, SecretServiceItemStore& keyring);
    // The account password ("password") and the administrator password ("userpassword")
    // become keychain items; the VPN password record ("PASSWORD_KEY") is dropped. A key
    // stays when its item cannot be written.
    static void movePreferences(Preferences& preferences, KeychainWrapper& keychain);
    // Statement files naming the administrator password's item instead of holding it;
    // auth.txt, which held the VPN password, removed.
    static void clearWorkingFolder(const QString& vpnHomeDir);
    // charon's configuration with the VPN password, kept in the data folder before.
    static void removeSwanctlFolder(const QString& dataFolder);
};
