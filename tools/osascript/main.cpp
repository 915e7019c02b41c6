#include "platform/FileItemStore.h"
#include "platform/SecretServiceItemStore.h"
#include "platform/StatementFile.h"
#include "platform/SudoScriptRunner.h"
#include "tunnel/KeychainWrapper.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <cstdio>
#include <memory>

namespace {

// The store the client chose in the same session: a statement that names a password
// item reads the item the client wrote.
std::unique_ptr<ItemStore> sessionItemStore() {
    if (SecretServiceItemStore::answers())
        return std::make_unique<SecretServiceItemStore>();
    return std::make_unique<FileItemStore>();
}

bool runFile(const QString& path, SudoScriptRunner& runner) {
    const auto read = StatementFile::read(path);
    if (const auto* refusal = std::get_if<StatementFile::Refusal>(&read)) {
        std::fprintf(stderr, "orvel-osascript: refused %s\n", qPrintable(refusal->reason));
        return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString source = decoder.decode(std::get<QByteArray>(read));
    if (decoder.hasError()) {
        std::fprintf(stderr, "orvel-osascript: %s is not UTF-8\n", qPrintable(path));
        return false;
    }
    return runner.run(source);
}

} // namespace

// Runs the files in order, with one runner: a password is checked once for all of them.
// Exit status 0 when every statement ran and its command succeeded, 1 otherwise.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: orvel-osascript FILE...\n");
        return 1;
    }
    const std::unique_ptr<ItemStore> items = sessionItemStore();
    SudoScriptRunner runner(
        PasswordItems(*items, QString::fromLatin1(KeychainWrapper::kDefaultServiceName)));
    bool allRan = true;
    for (const QString& file : files)
        allRan = runFile(file, runner) && allRan;
    return allRan ? 0 : 1;
}
