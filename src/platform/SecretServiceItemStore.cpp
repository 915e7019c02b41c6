#include "platform/SecretServiceItemStore.h"

#include "platform/LibSecret.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <memory>

Q_LOGGING_CATEGORY(lcKeyring, "orvel.keyring")

namespace {

constexpr const char* kSecretsName = "org.freedesktop.secrets";
constexpr int kAskTimeoutMs = 2000;
const QByteArray kReferencePrefix = "orvel-secret:";

constexpr const char* kService = "service";
constexpr const char* kAccessGroup = "access-group";
constexpr const char* kAccount = "account";
constexpr const char* kReference = "reference";

// answers() loads it, and a store is made only once the keyring answered.
const LibSecret& lib() {
    const LibSecret* loaded = LibSecret::load();
    if (!loaded)
        qFatal("a keyring store without libsecret");
    return *loaded;
}

const SecretSchema& schema() {
    static const SecretSchema items = [] {
        SecretSchema s{};
        s.name = "net.orvel.OrvelVPN.Item";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {kService, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {kAccessGroup, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[2] = {kAccount, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[3] = {kReference, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return items;
}

struct Unref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
    void operator()(GList* list) const { g_list_free_full(list, lib().g_object_unref); }
    void operator()(SecretValue* value) const { lib().secret_value_unref(value); }
};
using Attributes = std::unique_ptr<GHashTable, Unref>;
using ItemList = std::unique_ptr<GList, Unref>;
using Secret = std::unique_ptr<SecretValue, Unref>;

Attributes noAttributes() {
    return Attributes(g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, g_free));
}

void put(GHashTable* attributes, const char* name, const QByteArray& text) {
    g_hash_table_insert(attributes, const_cast<char*>(name), g_strdup(text.constData()));
}

bool isText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(bytes);
    return !decoder.hasError() && !bytes.contains('\0');
}

// Attributes are text: an account that is not is refused rather than changed.
Attributes identity(const ItemStore::Query& query) {
    if (query.account && !isText(*query.account))
        return nullptr;
    Attributes attributes = noAttributes();
    put(attributes.get(), kService, query.service.toUtf8());
    put(attributes.get(), kAccessGroup, query.accessGroup.value_or(QString()).toUtf8());
    if (query.account)
        put(attributes.get(), kAccount, *query.account);
    return attributes;
}

// Logs the failure and frees it; false for the caller's convenience.
bool failed(const char* what, GError* error) {
    qCWarning(lcKeyring) << what << "failed:" << (error ? error->message : "unknown error");
    if (error)
        g_error_free(error);
    return false;
}

// Empty when nothing matches; *broken set when the keyring could not be asked.
ItemList search(GHashTable* attributes, bool* broken = nullptr) {
    GError* error = nullptr;
    ItemList items(lib().secret_password_searchv_sync(
        &schema(), attributes,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
        &error));
    if (broken)
        *broken = error != nullptr;
    if (error)
        failed("searching the keyring", error);
    return items;
}

std::optional<QByteArray> secretOf(SecretRetrievable* item) {
    GError* error = nullptr;
    const Secret value(lib().secret_retrievable_retrieve_secret_sync(item, nullptr, &error));
    if (!value) {
        failed("reading a keyring item", error);
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* data = lib().secret_value_get(value.get(), &length);
    return QByteArray(data, static_cast<qsizetype>(length));
}

QByteArray newReference() {
    quint32 nonce[4];
    QRandomGenerator::system()->fillRange(nonce);
    return kReferencePrefix +
           QByteArray(reinterpret_cast<const char*>(nonce), sizeof nonce).toHex();
}

GDBusConnection* sessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = lib().g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        failed("connecting to the session bus", error);
        return nullptr;
    }
    // GLib ends the process when the session bus closes; a VPN client must not vanish
    // without stopping its tunnel.
    lib().g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

} // namespace

struct SecretServiceItemStore::Bus {
    GDBusConnection* connection = sessionBus();
    ~Bus() {
        if (connection)
            lib().g_object_unref(connection);
    }
};

SecretServiceItemStore::SecretServiceItemStore() : m_bus(std::make_unique<Bus>()) {}

SecretServiceItemStore::~SecretServiceItemStore() {
    // libsecret keeps one service object per process; a later store may meet another bus.
    lib().secret_service_disconnect();
}

bool SecretServiceItemStore::answers() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"))))
        return false;
    if (!LibSecret::load())
        return false;
    GDBusConnection* bus = sessionBus();
    if (!bus)
        return false;
    GError* error = nullptr;
    GVariant* reply = lib().g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", kSecretsName), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, kAskTimeoutMs, nullptr, &error);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    } else {
        failed("asking the session bus for a Secret Service", error);
    }
    lib().g_object_unref(bus);
    return owned;
}

std::optional<SecretServiceItemStore::Found> SecretServiceItemStore::find(const Query& query,
                                                                          bool* broken) const {
    bool failedSearch = false;
    const Attributes attributes = identity(query);
    const ItemList items =
        query.account && attributes ? search(attributes.get(), &failedSearch) : nullptr;
    if (broken)
        *broken = failedSearch;
    if (!items)
        return std::nullopt;
    auto* item = static_cast<SecretRetrievable*>(items->data);
    const Attributes found(lib().secret_retrievable_get_attributes(item));
    const auto* reference = static_cast<const char*>(g_hash_table_lookup(found.get(), kReference));
    std::optional<QByteArray> value = secretOf(item);
    if (broken)
        *broken = !value || !reference;
    if (!value || !reference)
        return std::nullopt;
    return Found{*value, QByteArray(reference)};
}

bool SecretServiceItemStore::store(const Query& query, const QByteArray& value,
                                   const QByteArray& reference) {
    Attributes attributes = identity(query);
    if (!query.account || !attributes || !isText(reference))
        return false;
    put(attributes.get(), kReference, reference);
    const QByteArray label = QByteArrayLiteral("OrvelVPN ") + *query.account;
    const char* type = isText(value) ? "text/plain" : "application/octet-stream";
    const Secret secret(lib().secret_value_new(value.constData(), value.size(), type));
    GError* error = nullptr;
    if (!lib().secret_password_storev_binary_sync(&schema(), attributes.get(),
                                                  SECRET_COLLECTION_DEFAULT, label.constData(),
                                                  secret.get(), nullptr, &error))
        return failed("storing a keyring item", error);
    return true;
}

int SecretServiceItemStore::add(const Query& query, const QByteArray& value) {
    bool broken = false;
    if (find(query, &broken))
        return kDuplicateItem;
    // Not known to be absent: a second item of the same identity must not appear.
    if (broken)
        return kItemNotFound;
    return store(query, value, newReference()) ? kSuccess : kItemNotFound;
}

int SecretServiceItemStore::copyValue(const Query& query, QByteArray* value) const {
    const std::optional<Found> item = find(query);
    if (!item)
        return kItemNotFound;
    *value = item->value;
    return kSuccess;
}

int SecretServiceItemStore::copyPersistentReference(const Query& query,
                                                    QByteArray* reference) const {
    const std::optional<Found> item = find(query);
    if (!item)
        return kItemNotFound;
    *reference = item->reference;
    return kSuccess;
}

int SecretServiceItemStore::update(const Query& query, const QByteArray& value) {
    const std::optional<Found> item = find(query);
    // The same attributes, reference included: the keyring replaces the secret in place.
    if (!item || !store(query, value, item->reference))
        return kItemNotFound;
    return kSuccess;
}

int SecretServiceItemStore::remove(const Query& query) {
    const Attributes attributes = identity(query);
    if (!attributes)
        return kItemNotFound;
    GError* error = nullptr;
    const bool removed =
        lib().secret_password_clearv_sync(&schema(), attributes.get(), nullptr, &error);
    if (error)
        failed("removing keyring items", error);
    return removed ? kSuccess : kItemNotFound;
}

void SecretServiceItemStore::removeEverything() {
    GError* error = nullptr;
    lib().secret_password_clearv_sync(&schema(), noAttributes().get(), nullptr, &error);
    if (error)
        failed("removing every keyring item", error);
}

std::optional<QByteArray>
SecretServiceItemStore::resolvePersistentReference(const QByteArray& reference) const {
    if (reference.isEmpty() || !isText(reference))
        return std::nullopt;
    Attributes attributes = noAttributes();
    put(attributes.get(), kReference, reference);
    const ItemList items = search(attributes.get());
    if (!items)
        return std::nullopt;
    return secretOf(static_cast<SecretRetrievable*>(items->data));
}

bool SecretServiceItemStore::adopt(const Record& record) {
    if (!record.query.account)
        return false;
    // A keyring item of the same identity but another reference would stay beside it.
    remove(record.query);
    return store(record.query, record.value, record.reference);
}
