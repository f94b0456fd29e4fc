// The audio half of the engine: EncodeAudioRecords hands the conversion the open audio
// source, the audio settings, the stop flag and the progress channel; EncodeAudioMovie
// writes a movie of sound only (a header record without picture, then the audio records).
#include "encoder/engine/movieencoder.h"

#include "encoder/engine/engineparts.h"
#include "encoder/engine/framerules.h"
#include "encoder/media/audioconv.h"
#include "encoder/media/streamsource.h"
#include "moviedb/moviedbwriter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

int OrbanwickMovieEncoder::EncodeAudioRecords(FILE* out, int recordCount,
                                              std::span<quil::RecordListEntry> recordList,
                                              int firstEntry, int startMs) {
    if (!m_audioSource || recordCount < 0 || firstEntry < 0 ||
        size_t(firstEntry) + size_t(recordCount) > recordList.size()) {
        return kAudioRecordsEnded;
    }
    AudioConversionOptions options;
    options.bAudioHifi = bAudioHifi;
    options.bUseADPCM = bUseADPCM;
    options.bEnablePrefilter = bEnablePrefilter;
    options.bAudioBoost = bAudioBoost;
    options.nAudioBoostVal = nAudioBoostVal;
    std::vector<uint32_t> offsets(recordList.size(), 0);
    const int rc = ::EncodeAudioRecords(
        *m_audioSource, options, out, recordCount, offsets, firstEntry, startMs, m_stop,
        [this](int code, int32_t a, int32_t b) { ReportProgress(code, a, b); });
    for (int k = 0; k < recordCount; ++k) {
        recordList[size_t(firstEntry + k)].offset = offsets[size_t(firstEntry + k)];
    }
    return rc;
}

void OrbanwickMovieEncoder::EncodeAudioMovie(FILE* out, const char* dbname) {
    reportOutcome(runAudioJob(out, dbname));
}

JobOutcome OrbanwickMovieEncoder::runAudioJob(FILE* out, const char* dbname) {
    std::snprintf(m_completion.dbname, sizeof m_completion.dbname, "%s", dbname ? dbname : "");
    if (!HasAudio()) {
        return JobOutcome::failed(kNoAudioText);
    }
    AudioStreamInfo info;
    if (const int rc = m_audioSource->GetInfo(&info); rc != 0) {
        return JobOutcome::failed(m_audioSource->GetErrorText(unsigned(rc)));
    }
    const int tenths = AudioPlayingTenths(info);
    m_completion.frameRate = 10.0;
    m_completion.frameCount = tenths;
    const int A = AudioRecordCountForTenths(tenths, audioSamplesPerSecond(), audioSamplesPerRecord());
    if (int64_t(A) + 1 > quil::kMaxRecords) {
        return JobOutcome::failed(kTooLongText);
    }

    quil::MovieDbWriter writer(out);
    if (writer.begin(dbname ? dbname : "", quil::kDbTypeWave, A + 1) != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }
    // The frame-count field holds the playing time; past 65535 tenths (about 1 h 49 min) it
    // stays at its largest value rather than wrapping to a short time.
    HeaderRecordFields header;
    header.audioOnly = true;
    header.audioFormat = audioFormatCode();
    header.hasAudio = A > 0;
    header.frameCount = tenths;
    header.loop = looping;
    header.hold = holding;
    header.title = title;
    header.author = author;
    if (WriteHeaderRecord(writer, header) != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }

    const int rc = EncodeAudioRecords(out, A, writer.recordList(), 1, 0);
    if (rc == kAudioRecordsWriteFailed) {
        return JobOutcome::failed(kWriteFailedText);
    }
    if (rc != kAudioRecordsDone) {
        return JobOutcome::stopped();
    }
    const int64_t fileSize = writer.position();
    if (writer.finish() != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }
    m_completion.fileSize = int32_t(fileSize);
    m_completion.meanQuality = 1.0;
    return JobOutcome::complete();
}
