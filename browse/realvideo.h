#ifndef KELVORA_REALVIDEO_H
#define KELVORA_REALVIDEO_H

#include "browse/filelistwidget.h"

class DeviceHost;
class PosterLoader;
class QLabel;
class VideoRow;

// The video library: the device's videos as poster tiles, series grouped into tiles of their
// own (a badge with the count), a breadcrumb with "video:" links back out of a series, and
// playback of a video in the player. Paging goes on in whatever is shown: all videos, or the
// series entered.
class RealVideo : public FileListWidget
{
    Q_OBJECT

public:
    static const int typeCode = 830;

    explicit RealVideo(QWidget *parent = nullptr);
    ~RealVideo() override;

    // The window's navLabel; the breadcrumb goes there.
    QLabel *breadcrumbLabel = nullptr;
    QString breadcrumbText;

    void setBreadcrumbLabel(QLabel *label) { breadcrumbLabel = label; }
    bool showsPosters() const override { return true; }
    void resetForDevice() override;
    // Lists count rows from row start of series (see VideoSeries); a new view drops the poster
    // requests of the old one and writes the breadcrumb.
    void loadSeries(int series, int start, int count);
    // The series shown, -1 for all videos.
    int shownSeries() const { return series; }
    int pendingPosters() const;

    // Plays a video of the host's current device, given by its percent-encoded path: the
    // player gets the stream's URL on the device's LAN address. What stands in the way is a
    // toast over the host's window.
    static void playVideo(DeviceHost *host, const QString &encodedPath);

public slots:
    // Empties the list and opens a series whole, or all videos from their first page.
    void openSeries(int series);
    void videoDoubleClicked(QListWidgetItem *item);

protected:
    void loadPage(int start, int count) override;
    QWidget *createEntryWidget(QListWidgetItem *item) override;
    QSize entrySize() const override { return QSize(128, 154); }

private:
    void loadVideoFinished(QNetworkReply *reply, int count);
    void addRow(const VideoRow &row, const QString &deviceid);

    PosterLoader *posters;
    int series = -1;
    // One poster failure is told per view, not one per tile.
    bool posterFailureShown = false;
};

#endif
