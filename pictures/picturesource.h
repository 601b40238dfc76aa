#pragma once

#include "pictures/decodetime.h"
#include "pictures/fileworker.h"
#include "pictures/picturedecoder.h"
#include "pictures/picturememory.h"
#include "runtime/fileprobe.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Where the show gets its pictures: it asks for a file's picture at the size it will show it,
// and gets the picture or the refusal with its error number. Meanwhile the next pictures are
// decoded on the file worker, as many at once as the worker has threads, so that at its turn a
// picture is ready. The worker gets a path and the boxes and hands back the decoded picture: it
// touches no widget and no shared state. A picture decoded ahead serves only for the same path
// and boxes (or larger ones), and only while the file is the one its probe found. Every decode
// takes its share of the program's picture memory, and is given up when it takes more
// processor time than a real picture of its format and size: the picture is then refused, at
// once when it is the turn's, at its turn when it was decoding ahead.
class PictureSource
{
public:
    // What the decodes of every viewer share: the picture memory, and the time this machine
    // takes to decode each format. Held by the decodes too, which may outlive their source.
    struct Shared
    {
        std::shared_ptr<PictureMemory> memory = std::make_shared<PictureMemory>();
        std::shared_ptr<DecodeTime> time = std::make_shared<DecodeTime>();
    };

    using Boxes = PictureDecoder::Boxes;
    using Picture = PictureDecoder::Picture;
    using Task = std::shared_ptr<FileTask<Picture>>;
    // How the show waits for work on the worker: the result, or empty when the wait was given
    // up.
    using Wait = std::function<std::optional<Picture>(const Task &)>;

    // ahead: how many pictures may be decoding or waiting at once.
    PictureSource(FileWorker &worker, Shared shared, int ahead);
    // Stops every decode of its own.
    ~PictureSource();

    PictureSource(const PictureSource &) = delete;
    PictureSource &operator=(const PictureSource &) = delete;

    // Has the C library keep the memory of the pictures the show lets go for the next ones,
    // instead of handing it back to the system and faulting it in again at every picture
    // (about 1600 page faults a picture, which on a virtual machine cost more than half the
    // decoding). One arena, buffers under 32 MB from the heap, up to 256 MB kept. To be called
    // before any thread starts; does nothing but with glibc.
    static void keepPictureMemory();

    // Readies the worker, while no picture is wanted, for the first picture to be shown in
    // boxes: what every decode after the first finds ready, the first would pay for on top of
    // its own work, the image readers loaded and the memory of the pictures in use.
    void prepare(const Boxes &boxes);

    // The picture at path for boxes, as its probe found the file (probed): the one decoded
    // ahead when it is of that file (made smaller on the worker when it was decoded for larger
    // boxes), or else decoded now, before the pictures decoding ahead. A picture that cannot be
    // read has its error number; one whose file was gone or no regular file is not opened.
    // Empty when wait gave up.
    std::optional<Picture> picture(const QString &path, const Boxes &boxes,
                                   const std::optional<FileProbe::Stamp> &probed, const Wait &wait);

    // Keeps the first pictures of paths (the show's next ones, in their order) decoding for
    // boxes, starting what is not started yet, and drops every other. Does nothing while
    // decoding ahead is off.
    void keepAhead(const QStringList &paths, const Boxes &boxes);
    void start(const QString &path, const Boxes &boxes) { keepAhead({path}, boxes); }
    // Starts decoding path for boxes ahead of its turn, from any thread: it touches nothing
    // but the worker's queue. keep then makes it the one picture decoding ahead.
    Task startDecoding(const QString &path, const Boxes &boxes) const
    {
        return decode(path, boxes, /*ahead*/ true);
    }
    void keep(const QString &path, const Boxes &boxes, const Task &task);

    // A picture another began decoding for this source, handed over from any thread: the
    // source takes it at its next step as it takes one in adopt, or as its first picture when
    // it has none decoding; else its decode stops.
    class Handover
    {
    public:
        void give(const QString &path, const Boxes &boxes, const Task &task);

    private:
        friend class PictureSource;
        std::mutex m_mutex;
        QString m_path;
        Boxes m_boxes;
        Task m_task;
        bool m_closed = false;
    };
    const std::shared_ptr<Handover> &handover() const { return m_handover; }

    // Takes the pictures decoding ahead in other as its own, unless decoding ahead is off.
    // When its own are decoding already, one of other's takes the place of its own decode of
    // the same picture (for boxes no larger), which other started earlier; other keeps the
    // rest.
    void adopt(PictureSource &other);
    // Drops the pictures decoding ahead; their decodes stop.
    void discard();
    // Stops every decode of its own, the turn's included: the show is over.
    void cancel();

    // Decoding ahead is on unless turned off (the benchmark measures the show without it).
    void setEnabled(bool enabled);
    int ahead() const { return m_ahead; }

    // The next picture being decoded or waiting to be taken, empty when none; and whether its
    // decoding has finished.
    QString pendingPath() const { return m_pending.isEmpty() ? QString() : m_pending[0].path; }
    bool isReady() const { return !m_pending.isEmpty() && m_pending[0].task->isReady(); }

private:
    struct Pending
    {
        QString path;
        Boxes boxes;
        Task task;
        bool operator==(const Pending &other) const { return task == other.task; }
    };

    // Takes what was handed over.
    void collect();
    // given in place of its own decode of the same picture (for boxes no larger); false when
    // it has none.
    bool replaceOwn(const Pending &given);

    // Starts decoding path for boxes on the worker: ahead of its turn, or for the turn, before
    // the pictures decoding ahead; from decoded when it was decoded for larger boxes.
    Task decode(const QString &path, const Boxes &boxes, bool ahead,
                std::optional<Picture> decoded = std::nullopt) const;

    // The decode started for path and boxes, when one was; else one started for path and
    // other boxes (exact false), which may serve when it is larger; empty otherwise. It is no
    // longer kept here.
    Task take(const QString &path, const Boxes &boxes, bool *exact);

    FileWorker &m_worker;
    Shared m_shared;
    int m_ahead;
    std::weak_ptr<FileTask<Picture>> m_turn; // the turn's decode, while it is waited for
    QList<Pending> m_pending;
    bool m_enabled = true;
    std::shared_ptr<Handover> m_handover = std::make_shared<Handover>();
};
