// Bytes from a CD database or mail server arrive in reads of any size. The line queue must
// yield exactly the CR LF lines a plain reading of the whole stream finds (cut to their
// limit), whatever the reads, and the two dialogues must stay in their states on any line.
#include "cddb/cddbprotocol.h"
#include "cddb/linequeue.h"
#include "cddb/smtpprotocol.h"
#include "fuzzcheck.h"

FUZZ_TARGET
{
    if (size < 2)
        return;
    // The first byte chooses how the stream is cut into reads.
    const size_t step = 1 + data[0] % 64;
    const std::string stream = bytes.substr(1);

    std::vector<std::string> expected;
    for (size_t pos = 0, end; (end = stream.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        expected.push_back(stream.substr(pos, std::min(end - pos, LineQueue::kMaxLine)));

    CddbDiscInfo info;
    ComputeDiscId(CddbAlbumFromToc({150, 30000}, 60000), info);
    CddbProtocol cddbp, http;
    cddbp.begin(CddbProtocol::Cddbp, info, {"kolvo", "127.0.0.1"});
    http.begin(CddbProtocol::Http, info, {"kolvo", ""});
    SmtpProtocol smtp;
    smtp.begin("me@example.org", "db@example.org", "BODY");

    LineQueue queue;
    std::vector<std::string> got;
    std::string line;
    for (size_t pos = 0; pos < stream.size(); pos += step) {
        queue.append(stream.data() + pos, std::min(step, stream.size() - pos));
        while (queue.takeLine(line)) {
            FUZZ_CHECK(line.size() <= LineQueue::kMaxLine);
            got.push_back(line);
            for (CddbProtocol* p : {&cddbp, &http}) {
                const CddbProtocol::Reaction r = p->processLine(line);
                FUZZ_CHECK(p->state() >= CddbProtocol::Connecting &&
                           p->state() <= CddbProtocol::Idle);
                FUZZ_CHECK(r.send.empty() || r.send.back() == '\n');
                if (p == &http)
                    FUZZ_CHECK(r.send.empty() && p->state() >= CddbProtocol::QuerySent);
            }
            smtp.processLine(line);
            FUZZ_CHECK(smtp.state() >= SmtpProtocol::Connecting &&
                       smtp.state() <= SmtpProtocol::Done);
        }
        FUZZ_CHECK(queue.size() <= stream.size());
    }
    FUZZ_CHECK(got == expected);
}
