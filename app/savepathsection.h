#ifndef KELVORA_SAVEPATHSECTION_H
#define KELVORA_SAVEPATHSECTION_H

#include <QObject>
#include <QString>

class QLineEdit;
class QPushButton;
class QWidget;

// The settings page's save-path section: the folder field with its three buttons over the save
// path kept in the database's setting table.
class SavePathSection : public QObject
{
    Q_OBJECT

public:
    // Reads the stored save path into the field. The widgets belong to the window, which also
    // parents the dialogs and toasts.
    SavePathSection(QLineEdit *edit, QPushButton *choose, QPushButton *ok, QPushButton *cancel,
                    QWidget *window);

    QString savePath() const { return path; }
    // A folder chosen in the dialog goes into the field (not stored yet).
    void setChosen(const QString &folder);

signals:
    // The field's folder has been stored; what follows the save path (the sync helper's
    // configuration) is brought up to date from here, before the user is told.
    void saved(const QString &folder);

private:
    void OnChooseClicked();
    void OnOkClicked();
    void OnCancelClicked();

    QLineEdit *edit;
    QWidget *window;
    QString path;
};

#endif
