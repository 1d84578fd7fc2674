#pragma once

#include <QList>
#include <QString>
#include <QUuid>

namespace tolvi {

// A named board that pinned clips are filed into.
class Pinboard {
public:
    Pinboard(QUuid id, QString name, QString systemName, double createdAt)
        : id_(id), name_(std::move(name)), systemName_(std::move(systemName)), createdAt_(createdAt)
    {
    }

    const QUuid& id() const { return id_; }
    const QString& name() const { return name_; }
    void setName(QString name) { name_ = std::move(name); }
    // The name of the symbol shown as the board's icon (for example "briefcase").
    const QString& systemName() const { return systemName_; }
    void setSystemName(QString name) { systemName_ = std::move(name); }
    double createdAt() const { return createdAt_; }
    void setCreatedAt(double createdAt) { createdAt_ = createdAt; }

    friend bool operator==(const Pinboard& a, const Pinboard& b);

private:
    QUuid id_;
    QString name_;
    QString systemName_;
    double createdAt_;
};

// The four boards every history starts with; their ids are the same in every installation.
namespace DefaultPinboards {

QUuid workID();
QUuid codeID();
QUuid screenshotsID();
QUuid personalID();

// Work, Code, Screenshots and Personal, created at the moment of first use in this process;
// every later call returns the same four values.
const QList<Pinboard>& all();

} // namespace DefaultPinboards
} // namespace tolvi
