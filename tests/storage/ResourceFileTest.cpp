// tests/storage/ResourceFileTest.cpp: resource files written and reopened, damaged files refused
// with their codes, and write-backs interrupted by a killed process or a full disk.
#include "Interfac/Resource.h"
#include "Interfac/ResourceFormat.h"
#include "Interfac/VLoad.h"
#include "tests/kernel/Support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class TempDir {
public:
    TempDir()
    {
        char name[] = "/tmp/velora-storage-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string quotedText(const std::string& text) { return "\"" + text + "\""; }

// Evaluates forms and returns the printed value, or the error report.
std::string lisp(const std::string& text)
{
    std::string result;
    std::string report = reportOf([&] { result = evalText(text); });
    return report.empty() ? result : report;
}

const std::vector<ResourceEntry> kEntries = {
    { resTypeFromText("TEXT"), 128, "Greeting", 0, "hello" },
    { resTypeFromText("TEXT"), -5, "", ResAttr::Purgeable, "purgeable data" },
    { resTypeFromText("PICT"), 1000, "Logo", ResAttr::Protected | ResAttr::Preload, std::string(300, 'p') },
    { resTypeFromText("STR#"), 200, "Words", 0, std::string("\0\2\3one\3two", 10) },
    { resTypeFromText("EMPT"), 0, "nothing", 0, "" },
};

std::string goodFile()
{
    std::string file, why;
    EXPECT_TRUE(buildResourceFile(kEntries, file, why)) << why;
    return file;
}

// Every resource of the file as "TYPE id name attributes data", read through the primitives.
std::string contents()
{
    std::string text;
    for (const ResourceEntry& e : kEntries) {
        std::string get = "(getresource " + quotedText(resTypeText(e.type)) + " " + std::to_string(e.id) + ")";
        text += lisp("(let ((_r " + get + ")) (list (getresname _r) (getresattrs _r) (sizeresource _r) (handle->string _r)))")
                + "\n";
    }
    return text;
}

} // namespace

TEST(ResourceFile, WrittenAndReopenedWithEveryAttributeAndName)
{
    TempDir dir;
    std::string path = dir.file("r.rsrc");
    writeFile(path, goodFile());
    int refNum = openResourceFile(path, false);
    ASSERT_GT(refNum, 0) << resError();
    EXPECT_EQ(contents(), "(Greeting 0 5 hello)\n( 32 14 purgeable data)\n(Logo 12 300 " + std::string(300, 'p')
                              + ")\n(Words 0 10 )\n(nothing 0 0 )\n");
    EXPECT_EQ(lisp("(list (get-ind-string 200 1) (get-ind-string 200 2) (get-ind-string 200 3))"), "(one two )");
    // Change one resource, add one, rename one; write back; reopen.
    EXPECT_EQ(lisp("(let ((_h (getresource \"TEXT\" 128))) (set-handle-size _h 3) (changedresource _h) (getresattrs _h))"), "2");
    EXPECT_EQ(lisp("(addresource (string->handle \"new\") \"NEW \" 7 \"Added\")"), "<no-value>");
    EXPECT_EQ(lisp("(setresinfo (getresource \"TEXT\" -5) -6 \"Renamed\")"), "<no-value>");
    closeResourceFile(refNum);
    EXPECT_EQ(resError(), 0);
    std::string bytes = readFile(path);
    ASSERT_GE(bytes.size(), 256u);
    const uint8_t* head = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_EQ(readBE32(head), 256u);
    EXPECT_EQ(uint64_t(readBE32(head + 4)) + readBE32(head + 12), bytes.size()) << "the file ends with its map";
    refNum = openResourceFile(path, true);
    ASSERT_GT(refNum, 0);
    EXPECT_EQ(lisp("(handle->string (getresource \"TEXT\" 128))"), "hel");
    EXPECT_EQ(lisp("(let ((_r (getresource \"NEW \" 7))) (list (getresname _r) (getresattrs _r) (handle->string _r)))"),
              "(Added 0 new)");
    EXPECT_EQ(lisp("(let ((_r (getresource \"TEXT\" -6))) (list (getresname _r) (getresattrs _r) (handle->string _r)))"),
              "(Renamed 32 purgeable data)");
    EXPECT_EQ(lisp("(getresource \"TEXT\" -5)"), "()");
    EXPECT_EQ(lisp("(let ((_r (getresource \"PICT\" 1000))) (list (getresname _r) (getresattrs _r) (sizeresource _r)))"),
              "(Logo 12 300)");
    closeResourceFile(refNum);
}

TEST(ResourceFile, PrintForms)
{
    TempDir dir;
    std::string path = dir.file("p.rsrc");
    writeFile(path, goodFile());
    int refNum = openResourceFile(path, true);
    ASSERT_GT(refNum, 0);
    Handle h = getResource(resTypeFromText("TEXT"), 128);
    ASSERT_NE(h, 0u);
    Value v = resourceValue(h);
    char expected[80];
    std::snprintf(expected, sizeof expected, "<resource TEXT 128 \"Greeting\" %x of size 5>", h);
    EXPECT_EQ(printedText(v), expected);
    closeResourceFile(refNum);
    EXPECT_EQ(printedText(v), "<resource disposed>");
}

TEST(ResourceFile, DamagedFilesAreRefusedWithTheirCodes)
{
    TempDir dir;
    std::string path = dir.file("d.rsrc");
    const std::string good = goodFile();
    const uint8_t* g = reinterpret_cast<const uint8_t*>(good.data());
    uint32_t mapOffset = readBE32(g + 4);
    uint32_t nameList = mapOffset + readBE16(g + mapOffset + 26);
    uint32_t firstRef = mapOffset + 28 + readBE16(g + mapOffset + 30 + 6);
    auto set16 = [](std::string& s, size_t at, uint16_t v) { writeBE16(reinterpret_cast<uint8_t*>(s.data()) + at, v); };
    auto set32 = [](std::string& s, size_t at, uint32_t v) { writeBE32(reinterpret_cast<uint8_t*>(s.data()) + at, v); };
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        int16_t code;
    } cases[] = {
        { "shorter than a header", [](std::string& s) { s.resize(200); }, -36 },
        { "map cut short", [](std::string& s) { s.pop_back(); }, -37 },
        { "data offset not 256", [&](std::string& s) { set32(s, 0, 257); }, -37 },
        { "header byte 128", [](std::string& s) { s[128] = 1; }, -37 },
        { "map offset past the end", [&](std::string& s) { set32(s, 4, 1 << 30); }, -37 },
        { "data running into the map", [&](std::string& s) { set32(s, 8, readBE32(g + 8) + 1); }, -37 },
        { "negative map length", [&](std::string& s) { set32(s, 12, 0x80000000u); }, -37 },
        { "map shorter than its minimum", [&](std::string& s) { set32(s, 12, 20); }, -37 },
        { "map not repeating the header", [&](std::string& s) { s[mapOffset + 3] ^= 1; }, -36 },
        { "type list not at 28", [&](std::string& s) { set16(s, mapOffset + 24, 30); }, -36 },
        { "type count past the map", [&](std::string& s) { set16(s, mapOffset + 28, 4000); }, -37 },
        { "reference list past the map", [&](std::string& s) { set16(s, mapOffset + 30 + 6, 0xFFF0); }, -37 },
        { "reference list over the type list", [&](std::string& s) { set16(s, mapOffset + 30 + 6, 2); }, -37 },
        { "reference count past the map", [&](std::string& s) { set16(s, mapOffset + 30 + 4, 3000); }, -37 },
        { "name list past the map", [&](std::string& s) { set16(s, mapOffset + 26, 0xFFF0); }, -37 },
        { "name offset past the map", [&](std::string& s) { set16(s, firstRef + 2, 0x7000); }, -37 },
        { "name length past the map", [&](std::string& s) { s[nameList + readBE16(g + firstRef + 2)] = char(250); }, -37 },
        { "data offset past the data", [&](std::string& s) { s[firstRef + 5] = 0x7F; }, -37 },
        { "data length past the data", [&](std::string& s) { set32(s, 256 + 0, 0x00FFFFFF); }, -37 },
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        writeFile(path, bytes);
        EXPECT_EQ(openResourceFile(path, true), -1) << c.what;
        EXPECT_EQ(resError(), c.code) << c.what;
    }
    // Every truncation and every flipped byte: refused with -36 or -37, or opened with every
    // resource readable; never a crash.
    for (size_t n = 0; n < good.size(); ++n) {
        writeFile(path, good.substr(0, n));
        EXPECT_EQ(openResourceFile(path, true), -1) << "cut at " << n;
        EXPECT_TRUE(resError() == -36 || resError() == -37) << "cut at " << n;
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0xA5);
        writeFile(path, bytes);
        int refNum = openResourceFile(path, true);
        if (refNum < 0) {
            EXPECT_TRUE(resError() == -36 || resError() == -37) << "flipped at " << at;
            continue;
        }
        std::string report = reportOf([] {
            evalText("(let ((_i 1) (_t nil)) (while (<= _i (count1types)) (set! _t (get1indtype _i))"
                     " (let ((_j 1)) (while (<= _j (count1resources _t)) (sizeresource (get1indresource _t _j))"
                     " (set! _j (+ _j 1)))) (set! _i (+ _i 1))))");
        });
        EXPECT_EQ(report, "") << "flipped at " << at;
        closeResourceFile(refNum);
    }
}

TEST(ResourceFile, ASecondWriterGetsTheFileReadOnly)
{
    TempDir dir;
    std::string path = dir.file("w.rsrc");
    writeFile(path, goodFile());
    int first = openResourceFile(path, false);
    ASSERT_GT(first, 0);
    int second = openResourceFile(dir.file("./w.rsrc"), false); // another name for the same file
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(lisp("(addresource (string->handle \"x\") \"XTRA\" 1 \"\")"), "<no-value>");
    EXPECT_EQ(lisp("(updateresfile " + std::to_string(second) + ")"), "Error: 1010-36, -61, #<class VELORA>, (), ()");
    EXPECT_EQ(lisp("(getresattrs (getresource \"XTRA\" 1))"), "2") << "still to be written";
    // Nothing can ever be written to it: closing says so, and closes.
    EXPECT_EQ(lisp("(closeresfile " + std::to_string(second) + ")"), "Error: 1010-36, -61, #<class VELORA>, (), ()");
    EXPECT_EQ(lisp("(curresfile)"), std::to_string(first));
    closeResourceFile(first);
}

namespace {

// Forms a child process runs on the open file F, once per round i: a new record, and a changed
// one (removed and added again), then a write-back.
std::string roundForms(int i)
{
    std::string n = std::to_string(i);
    return "(begin (addresource (string->handle \"data " + n + "\") \"DATA\" " + n + " \"n" + n + "\")"
           " (when (get1resource \"CHNG\" 1) (rmveresource (get1resource \"CHNG\" 1)))"
           " (addresource (string->handle \"state " + n + "\") \"CHNG\" 1 \"\")"
           " (updateresfile F))";
}

// What the file holds: n records DATA 1..n and CHNG 1 at state n; -1 when it is inconsistent.
int committedRounds(const std::string& path, std::string& why)
{
    int refNum = openResourceFile(path, true);
    if (refNum < 0) {
        why = "refused with " + std::to_string(resError());
        return -1;
    }
    int n = std::atoi(lisp("(count1resources \"DATA\")").c_str());
    for (int j = 1; j <= n; ++j) {
        std::string got = lisp("(let ((_r (get1resource \"DATA\" " + std::to_string(j) + "))) (list (getresname _r) (handle->string _r)))");
        if (got != "(n" + std::to_string(j) + " data " + std::to_string(j) + ")") {
            why = "record " + std::to_string(j) + ": " + got;
            n = -1;
            break;
        }
    }
    if (n > 0 && lisp("(handle->string (get1resource \"CHNG\" 1))") != "state " + std::to_string(n)) {
        why = "changed record: " + lisp("(handle->string (get1resource \"CHNG\" 1))");
        n = -1;
    }
    closeResourceFile(refNum);
    return n;
}

} // namespace

// Write-backs append; a file written back thousands of times is written anew when its dead bytes
// outweigh the live ones, so it stays small and keeps every resource.
TEST(ResourceFile, ManyWriteBacksKeepTheFileSmall)
{
    TempDir dir;
    std::string path = dir.file("m.rsrc");
    writeFile(path, goodFile());
    evalText("(define F (openresfile " + quotedText(path) + " nil))");
    int start = std::atoi(lisp("(count1resources \"DATA\")").c_str());
    const int rounds = 1500;
    for (int i = start + 1; i <= start + rounds; ++i)
        ASSERT_EQ(reportOf([&] { evalText(roundForms(i)); }), "") << "round " << i;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_LT(st.st_size, 400 * 1024) << "the dead bytes of earlier write-backs were reclaimed";
    evalText("(closeresfile F)");
    std::string why;
    EXPECT_EQ(committedRounds(path, why), start + rounds) << why;
}

TEST(ResourceFile, AKilledWriterLeavesEveryCommittedWriteBack)
{
    TempDir dir;
    std::string path = dir.file("k.rsrc");
    writeFile(path, goodFile());
    int committed = 0;
    for (int round = 0; round < 30; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            std::string report = reportOf([&] { evalText("(define F (openresfile " + quotedText(path) + " nil))"); });
            int start = std::atoi(lisp("(count1resources \"DATA\")").c_str());
            for (int i = start + 1; i < start + 5000; ++i) {
                if (!reportOf([&] { evalText(roundForms(i)); }).empty())
                    _exit(3);
                if (write(fds[1], &i, sizeof i) != sizeof i)
                    _exit(4);
            }
            _exit(0);
        }
        close(fds[1]);
        // The kill comes at a different point of a write-back each round, counted from the
        // writer's first commit, so that a loaded machine still sees progress every round.
        int value = 0;
        if (read(fds[0], &value, sizeof value) == sizeof value)
            committed = value;
        usleep(static_cast<useconds_t>((round * 7919) % 40000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        while (read(fds[0], &value, sizeof value) == sizeof value)
            committed = value;
        close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);
        std::string why;
        int n = committedRounds(path, why);
        ASSERT_TRUE(n == committed || n == committed + 1) << "round " << round << ": " << n << " for " << committed << " " << why;
        committed = n;
    }
    EXPECT_GT(committed, 20) << "the writers made progress";
}

TEST(ResourceFile, AFullDiskFailsTheWriteBackAndKeepsTheChanges)
{
    TempDir dir;
    std::string path = dir.file("f.rsrc");
    std::string source = dir.file("big.bin");
    writeFile(path, goodFile());
    writeFile(source, std::string(20000, 'b'));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        struct stat st;
        stat(path.c_str(), &st);
        rlimit limit { static_cast<rlim_t>(st.st_size + 12000), static_cast<rlim_t>(st.st_size + 12000) };
        setrlimit(RLIMIT_FSIZE, &limit);
        std::ostringstream out;
        lisp("(define F (openresfile " + quotedText(path) + " nil))");
        int committed = 0;
        std::string report;
        for (int i = 1; i < 100 && report.empty(); ++i) {
            report = lisp("(begin (addresource (string->handle (make-string 1000 65)) \"DATA\" " + std::to_string(i)
                          + " \"\") (updateresfile F))");
            if (report.empty() || report.rfind("Error", 0) != 0)
                committed = i, report.clear();
        }
        out << committed << "\n" << report << "\n";
        out << lisp("(getresattrs (get1resource \"DATA\" " + std::to_string(committed + 1) + "))") << "\n";
        out << lisp("(updateresfile F)") << "\n";
        out << lisp("(closeresfile F)") << "\n";
        out << lisp("(list (curresfile) (= (curresfile) F))") << "\n";
        out << lisp("(rmveresource (get1resource \"DATA\" " + std::to_string(committed + 1) + "))") << "\n";
        out << lisp("(addresource " + quotedText(source) + " \"BIG \" 1 \"\")") << "\n";
        out << lisp("(count1resources \"BIG \")") << "\n";
        std::string text = out.str();
        if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            _exit(4);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
    std::istringstream lines(text);
    std::string committedLine, report, attributes, again, closing, current, removed, added, bigCount;
    std::getline(lines, committedLine);
    std::getline(lines, report);
    std::getline(lines, attributes);
    std::getline(lines, again);
    std::getline(lines, closing);
    std::getline(lines, current);
    std::getline(lines, removed);
    std::getline(lines, added);
    std::getline(lines, bigCount);
    int committed = std::atoi(committedLine.c_str());
    EXPECT_GT(committed, 3);
    EXPECT_LT(committed, 12);
    const std::string diskFull = "Error: 1010-46, (), #<class VELORA>, (), ()";
    EXPECT_EQ(report, diskFull);
    EXPECT_EQ(attributes, "2") << "the failed resource is still marked changed";
    EXPECT_EQ(again, diskFull) << "a second try fails too: never success after a lost write";
    EXPECT_EQ(closing, diskFull) << "close keeps the file open rather than lose the change";
    EXPECT_EQ(current, "(1 t)");
    EXPECT_EQ(removed, "<no-value>");
    EXPECT_EQ(added, diskFull) << "a copy that does not fit";
    EXPECT_EQ(bigCount, "0") << "the failed copy's entry is taken out again";

    int refNum = openResourceFile(path, true);
    ASSERT_GT(refNum, 0) << resError();
    EXPECT_EQ(lisp("(count1resources \"DATA\")"), std::to_string(committed));
    for (int j = 1; j <= committed; ++j)
        EXPECT_EQ(lisp("(sizeresource (get1resource \"DATA\" " + std::to_string(j) + "))"), "1000");
    closeResourceFile(refNum);
}

TEST(ResourceFile, APurgedResourceIsReadAgainWhenLocked)
{
    TempDir dir;
    std::string path = dir.file("purge.rsrc");
    writeFile(path, goodFile());
    int refNum = openResourceFile(path, false);
    ASSERT_GT(refNum, 0);
    Handle purgeable = getResource(resTypeFromText("TEXT"), -5);
    Handle kept = getResource(resTypeFromText("TEXT"), 128);
    ASSERT_NE(purgeable, 0u);
    purgeHandles();
    EXPECT_EQ(handleSize(purgeable), 0) << "purged";
    EXPECT_EQ(handleSize(kept), 5) << "not purgeable";
    uint32_t address = lockHandle(purgeable);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(hostAddress(address)), 14), "purgeable data");
    unlockHandle(purgeable);
    // A changed resource is never purged away.
    EXPECT_EQ(lisp("(changedresource (getresource \"TEXT\" -5))"), "<no-value>");
    purgeHandles();
    EXPECT_EQ(handleSize(purgeable), 14);
    closeResourceFile(refNum);
}

TEST(ResourceFile, CopyingIntoAFile)
{
    TempDir dir;
    std::string path = dir.file("copy.rsrc");
    std::string out = dir.file("out.bin");
    writeFile(path, goodFile());
    writeFile(out, "untouched");
    int refNum = openResourceFile(path, true);
    ASSERT_GT(refNum, 0);
    EXPECT_EQ(lisp("(getresource-into-file \"PICT\" 9 " + quotedText(out) + " nil)"), "()");
    EXPECT_EQ(readFile(out), "untouched") << "a missing resource leaves the destination alone";
    EXPECT_EQ(lisp("(define Chunks nil) (getresource-into-file \"PICT\" \"logo\" " + quotedText(out)
                   + " (lambda (_n) (set! Chunks (cons _n Chunks))))"),
              "t");
    EXPECT_EQ(readFile(out), std::string(300, 'p'));
    EXPECT_EQ(lisp("Chunks"), "(300)");
    closeResourceFile(refNum);
}

extern int gEventBlockCounter;

TEST(Loader, StateIsRestoredOnEveryExit)
{
    Value saved = gSelf;
    Value self = gSelf = makeImmediate(77); // stands for an object; loading runs with none
    int counter = gEventBlockCounter;
    setGlobalValue(Sym::loadedFile, makeImmediate(5));
    Handle h = newHandle(0);
    const std::string unit = "(define Seen-Self t) (car 5) (set! Seen-Self 'after)";
    ASSERT_TRUE(setHandleSize(h, static_cast<uint32_t>(unit.size())));
    std::memcpy(hostAddress(handleAddress(h)), unit.data(), unit.size());
    EXPECT_EQ(reportOf([&] { loadFromHandle(h, makeImmediate(9)); }), "Error: 1010-2, 5, #<class VELORA>, (), ()");
    EXPECT_EQ(gSelf, self);
    EXPECT_EQ(gEventBlockCounter, counter);
    EXPECT_EQ(globalValue(Sym::loadedFile), makeImmediate(5));
    EXPECT_EQ(evalText("Seen-Self"), "t") << "the unit ran up to the error";
    gSelf = saved;
    setGlobalValue(Sym::loadedFile, kNil);
    disposeHandle(h);
}

TEST(ResourceFile, TheFormatsLimitsAreErrorsNotWraps)
{
    TempDir dir;
    std::string path = dir.file("limits.rsrc");
    std::string big = dir.file("big.bin");
    writeFile(path, goodFile());
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp((1 << 24) - 1);
        out.put('x'); // 16 MB: past the 24-bit data offsets
    }
    int refNum = openResourceFile(path, false);
    ASSERT_GT(refNum, 0);
    EXPECT_EQ(lisp("(addresource " + quotedText(big) + " \"HUGE\" 1 \"\")"), "Error: 1010-36, -194, #<class VELORA>, (), ()");
    EXPECT_EQ(lisp("(count1resources \"HUGE\")"), "0");
    // Names of 255 characters fill the 64 KB of name offsets after about 250 resources.
    // Names of 255 characters fill the 64 KB of name offsets after about 250 resources.
    int added = 0;
    std::string refused;
    for (int i = 1; i < 400 && refused.empty(); ++i) {
        std::string result = lisp("(addresource (string->handle \"x\") \"NAME\" " + std::to_string(i)
                                  + " (make-string 255 " + std::to_string(65 + i % 26) + "))");
        if (result == "<no-value>")
            added = i;
        else
            refused = result;
    }
    EXPECT_EQ(refused, "Error: 1010-36, -194, #<class VELORA>, (), ()");
    EXPECT_GT(added, 200);
    EXPECT_LT(added, 300);
    closeResourceFile(refNum);
    refNum = openResourceFile(path, true);
    ASSERT_GT(refNum, 0) << resError();
    EXPECT_EQ(lisp("(count1resources \"NAME\")"), std::to_string(added));
    closeResourceFile(refNum);
}
