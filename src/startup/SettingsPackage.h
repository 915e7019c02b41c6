#pragma once

#include "tunnel/AdminCredentials.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <functional>

struct UnpackLimits {
    qint64 maxBytes = 200LL * 1024 * 1024; // uncompressed, all entries together
    qint64 maxEntries = 10000;
};

// Unpacks a ZIP archive into folder, CRCs checked. The whole archive is refused, with
// nothing written into folder, when an entry would land outside it (absolute path,
// "..", symbolic link, device) or the limits are exceeded. Top-level entries replace
// what folder held under their names; executable bits come from the archive.
bool unpackSettingsArchive(const QString& archivePath, const QString& folder,
                           const UnpackLimits& limits, QString* error);

// The start-up steps that prepare the OpenVPN package: working paths, the stored
// administrator test, the legacy folder, and download, unpack and install of the
// settings package. (Named apart from the test service's package builder.)
class SettingsPackageInstaller final : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString packageUrl =
            QStringLiteral("http://dl.orvel.net/users/client/api/app/mac/files/settings.zip");
        QString packageSha256; // hex; empty = not checked
        QString adminMarkerPath = QString::fromLatin1(AdminCredentials::kMarkerPath);
        UnpackLimits limits;
        qint64 maxDownloadBytes = 201LL * 1024 * 1024; // the archive itself
        int timeoutMs = 60000;
    };

    explicit SettingsPackageInstaller(Options options, QObject* parent = nullptr);

    // Sets vpnHomeDir and credentialTemplatePath, then tests the stored administrator.
    void verifyStoredAdmin();
    void removeLegacyFolder();
    bool isOpenVPNInstalled() const;
    // Returns at once. Any answer is unpacked and installed, then continueWithNetworkCheck
    // runs on the main thread; when no answer came, downloadFailed is emitted instead.
    void downloadSettingsPackage(std::function<void()> continueWithNetworkCheck);

signals:
    void downloadFailed();

private:
    void downloadFinished(class QNetworkReply* reply, class QTemporaryFile* body,
                          std::function<void()> continueWithNetworkCheck);
    void installSettingsPackage(std::function<void()> continueWithNetworkCheck);

    Options m_options;
    // Its own manager: the download carries no cookies of the service session.
    QNetworkAccessManager m_network;
};
