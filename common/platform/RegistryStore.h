#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace harbel {

// The registry of this platform: one text file in the layout of a .reg export, one
// "[ROOT\path]" section per key. Key paths and value names match without regard to case.
// Every write takes a lock, re-reads the file, changes it and replaces it atomically, so two
// programs writing at the same time both keep their values. Reads never lock: the file is only
// ever replaced whole. A store that cannot be read (a folder, a pipe, too large) or that is a
// symbolic link is never rewritten: a change then fails and the file stays as it is.
class RegistryStore final {
public:
    // A value as stored: its text, or no data at all (a hand-written `"Name"=` line).
    struct Value {
        QString name;  // empty for the key's default value ("@")
        QString data;
        bool hasData = true;
    };

    explicit RegistryStore(QString filePath = defaultPath());

    // $HARBEL_REGISTRY, else "registry.reg" in the user's configuration folder under "Harbel".
    static QString defaultPath();
    const QString& filePath() const { return path_; }

    // Bounds of a store, far above any real one (a few hundred keys of a few values each: the
    // settings, every site login, every list entry), so that a damaged or hostile file cannot make
    // the programs hold it all in memory: a file past one is read up to it, never changed, and
    // fault() says so.
    static constexpr qsizetype kMaxSections = 100000;
    static constexpr qsizetype kMaxValues = 1000000;

    // Why the store cannot be kept as it should ("The settings file PATH is too large..."): a file
    // past the bounds above or the size cap, or one there but unreadable; empty when all is well.
    // Changes to such a store fail and leave its file as it is.
    QString fault() const;

    std::optional<Value> value(const QString& key, const QString& name) const;
    bool keyExists(const QString& key) const;
    QStringList subKeys(const QString& key) const;

    bool createKey(const QString& key);
    bool setValue(const QString& key, const QString& name, const QString& data);
    bool deleteValue(const QString& key, const QString& name);
    // Refused (false) when the key is missing or still has subkeys.
    bool deleteKey(const QString& key);

    // The file's content model, public for the parser's tests.
    struct Section {
        QString key;
        QList<Value> values;
    };
    // Reads up to the bounds above; overflow (when given) tells whether the text went past them.
    static QList<Section> parse(const QByteArray& text, bool* overflow = nullptr);
    static QByteArray serialize(const QList<Section>& sections);

    // The parsed file with its keys found by their case-folded names.
    struct Parsed {
        QList<Section> sections;
        QHash<QString, qsizetype> sectionAt;
        QString fault;
    };

private:
    std::shared_ptr<const Parsed> load() const;
    template <typename Change>
    bool modify(Change change);

    QString path_;
};

}  // namespace harbel
