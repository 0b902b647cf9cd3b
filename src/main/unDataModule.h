#pragma once
// The data module: images every window of the program shares (the tree's images, the
// actions' images, the account-state images of the user list). Drawn once, on first use;
// needs a running QGuiApplication.
#include <QIcon>
#include <QObject>

class TDM : public QObject {
    Q_OBJECT
public:
    // Images of the domain tree (ImageListTree): 0 the domain root, 6 a container or OU.
    enum TreeImage { TreeDomain = 0, TreeDomainOpen = 1, TreeContainer = 6, TreeImageCount = 7 };
    // Images of the actions and toolbar buttons.
    enum ActionImage {
        ImgConnect, ImgConnection, ImgExit, ImgColumns, ImgFilter, ImgOptions, ImgBulkExport,
        ImgReports, ImgGroups, ImgQueryGroups, ImgFindReplace, ImgServerInfo, ImgAbout,
        ImgFindUser, ImgApply, ImgStop, ImgUserProperties, ActionImageCount
    };

    // The one data module of the process (objectName "DM").
    static TDM &instance();

    QIcon treeImage(int index) const;
    QIcon actionImage(ActionImage image) const;
    // ImageListUsers: 0 normal, 1 disabled, 2 locked out, 3 password expired.
    QIcon userImage(int state) const;
    // The program's own icon.
    QIcon appIcon() const;

private:
    TDM();
    QList<QIcon> tree_;
    QList<QIcon> actions_;
    QIcon app_;
};
