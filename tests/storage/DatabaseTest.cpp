// tests/storage/DatabaseTest.cpp: record database files: their bytes, damaged files refused,
// automatic and full compaction, a second writer, and updates interrupted by a killed process
// or a full disk.
#include "tests/kernel/Support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class DbDir {
public:
    DbDir()
    {
        char name[] = "/tmp/velora-db-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~DbDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

uint32_t be32At(const std::string& s, size_t at)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data()) + at;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::string run(const std::string& text)
{
    std::string result;
    std::string report = reportOf([&] { result = evalText(text); });
    return report.empty() ? result : report;
}

std::string q(const std::string& text) { return "\"" + text + "\""; }

// A database with a few records, closed.
std::string sampleDatabase(const std::string& path)
{
    run("(create-database " + q(path) + " :creator \"VELO\" :type \"DATA\")");
    return run("(let ((_d (open-database " + q(path) + " :mode 'output)))"
               " (add-record (string->handle \"alpha\") \"TEXT\" 1 \"One\" _d nil)"
               " (add-record (string->handle \"beta beta\") \"TEXT\" 2 nil _d nil)"
               " (put-record-number 40000 \"NUMB\" 7 _d)"
               " (close-database _d nil))");
}

std::string readAll(const std::string& path)
{
    return run("(let ((_d (open-database " + q(path) + ")) (_r nil))"
               " (set! _r (list (count-record-types _d) (handle->string (get-record \"TEXT\" 1 _d nil))"
               " (get-record-name (get-record \"TEXT\" 1 _d nil)) (handle->string (get-record \"TEXT\" 2 _d nil))"
               " (get-record-number \"NUMB\" 7 _d)))"
               " (close-database _d t) _r)");
}

} // namespace

TEST(Database, ANewDatabaseIs294Bytes)
{
    DbDir dir;
    std::string path = dir.file("new.db");
    EXPECT_EQ(run("(create-database " + q(path) + " :creator \"VELO\" :type \"DATA\")"), path);
    std::string bytes = slurp(path);
    ASSERT_EQ(bytes.size(), 294u);
    EXPECT_EQ(be32At(bytes, 0), 256u);
    EXPECT_EQ(be32At(bytes, 4), 256u);
    EXPECT_EQ(be32At(bytes, 8), 0u);
    EXPECT_EQ(be32At(bytes, 12), 38u);
    EXPECT_EQ(bytes.substr(16, 8), "VELODATA");
    EXPECT_EQ(bytes[128], 2);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(be32At(bytes, 136 + 8 * i), 0xFFFFFFFFu);
        EXPECT_EQ(be32At(bytes, 140 + 8 * i), 0u);
    }
    EXPECT_EQ(bytes.substr(256, 16), bytes.substr(0, 16));
    EXPECT_EQ(static_cast<uint8_t>(bytes[256 + 25]), 0x18);
    EXPECT_EQ(be32At(bytes, 256 + 26), 34u);
    EXPECT_EQ(be32At(bytes, 256 + 30), 38u);
    EXPECT_EQ(be32At(bytes, 256 + 34), 0xFFFFFFFFu);
    // create-database-in writes the same bytes at the start of an existing file, not shortening it.
    std::string other = dir.file("other.bin");
    spit(other, std::string(400, 'x'));
    EXPECT_EQ(run("(create-database-in " + q(other) + " :creator \"VELO\" :type \"DATA\")"), "<no-value>");
    std::string in = slurp(other);
    EXPECT_EQ(in.size(), 400u);
    EXPECT_EQ(in.substr(0, 294), bytes);
    EXPECT_EQ(run("(create-database-in " + q(dir.file("missing")) + ")").substr(0, 16), "Error: 1011-14, ");
}

TEST(Database, UpdatesAppendAndCompactionRewrites)
{
    DbDir dir;
    std::string path = dir.file("c.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    EXPECT_EQ(readAll(path), "(2 alpha One beta beta 40000)");
    std::string bytes = slurp(path);
    EXPECT_EQ(uint64_t(be32At(bytes, 4)) + be32At(bytes, 12), bytes.size()) << "the file ends with its map";
    // Remove most of the data: with Compact-Databases? nil only the map is rewritten...
    std::string open = "(define D (open-database " + q(path) + " :mode 'output))";
    run(open);
    run("(add-record (string->handle (make-string 5000 66)) \"BIG \" 1 \"\" D nil) (update-database D)");
    size_t withBig = slurp(path).size();
    run("(define Compact-Databases? nil) (remove-record (get-record \"BIG \" 1 D t)) (update-database D)");
    size_t afterRemove = slurp(path).size();
    EXPECT_GT(afterRemove, withBig - 100) << "the record's bytes stay";
    // ...and with t the update compacts.
    run("(define Compact-Databases? t) (changed-record (get-record \"TEXT\" 1 D nil)) (update-database D)");
    size_t compacted = slurp(path).size();
    EXPECT_LT(compacted, 600u);
    run("(close-database D nil)");
    EXPECT_EQ(readAll(path), "(2 alpha One beta beta 40000)");
    bytes = slurp(path);
    EXPECT_EQ(be32At(bytes, 8), 5u + 9u + 4u) << "data packed";
}

TEST(Database, DamagedFilesAreRefused)
{
    DbDir dir;
    std::string path = dir.file("d.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    const std::string good = slurp(path);
    std::string damaged = dir.file("x.db");
    for (size_t n = 0; n < good.size(); ++n) {
        spit(damaged, good.substr(0, n));
        std::string report = run("(open-database " + q(damaged) + ")");
        EXPECT_TRUE(report.rfind("Error: 1011-1, ", 0) == 0 || report.rfind("Error: 1011-13, ", 0) == 0)
            << "cut at " << n << ": " << report;
    }
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        spit(damaged, bytes);
        std::string report = run("(let ((_d (open-database " + q(damaged) + ")) (_i 0) (_t nil))"
                                 " (while (< _i (count-record-types _d)) (set! _t (get-indexed-type _i _d))"
                                 " (let ((_j 0)) (while (< _j (count-records _t _d))"
                                 " (get-record-size (get-indexed-record _t _j _d nil)) (set! _j (+ _j 1))))"
                                 " (set! _i (+ _i 1)))"
                                 " (close-database _d t) 'read)");
        EXPECT_TRUE(report == "read" || report.rfind("Error: 1011-1, ", 0) == 0) << "flipped at " << at << ": " << report;
    }
    // Overlapping records are refused: point the second record at the first one's bytes.
    std::string bytes = good;
    uint32_t map = be32At(good, 4);
    uint32_t list = map + 34 + be32At(good, map + 38 + 8);
    bytes.replace(list + 26 + 10, 4, good.substr(list + 10, 4));
    spit(damaged, bytes);
    EXPECT_EQ(run("(open-database " + q(damaged) + ")"), "Error: 1011-1, " + damaged + ", #<class VELORA>, (), ()");
}

TEST(Database, ASecondWriterIsRefused)
{
    DbDir dir;
    std::string path = dir.file("w.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    run("(define W (open-database " + q(path) + " :mode 'output))");
    EXPECT_EQ(run("(open-database " + q(dir.file("./w.db")) + " :mode 'output)"),
              "Error: 1010-38, " + dir.file("./w.db") + ", #<class VELORA>, (), ()");
    EXPECT_EQ(run("(database-read-only? (open-database " + q(dir.file("./w.db")) + "))"), "t") << "a reader is welcome";
    run("(close-database W nil)");
}

TEST(Database, AKilledWriterLeavesEveryCommittedUpdate)
{
    DbDir dir;
    std::string path = dir.file("k.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    int committed = 0;
    for (int round = 0; round < 30; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            run("(define D (open-database " + q(path) + " :mode 'output))");
            int start = std::atoi(run("(count-records \"DATA\" D)").c_str());
            for (int i = start + 1; i < start + 5000; ++i) {
                std::string n = std::to_string(i);
                // A new record, a changed one, and every third round one removed (compaction).
                std::string forms = "(begin (add-record (string->handle \"data " + n + "\") \"DATA\" " + n + " \"n" + n + "\" D nil)"
                                    " (put-record-string \"state " + n + "\" \"CHNG\" 1 D)"
                                    " (when (= 0 (modulo " + n + " 3)) (add-record (string->handle (make-string 300 67)) \"TEMP\" " + n + " \"\" D nil)"
                                    " (update-database D) (remove-record (get-record \"TEMP\" " + n + " D t)))"
                                    " (update-database D))";
                if (run(forms) != "<no-value>")
                    _exit(3);
                if (write(fds[1], &i, sizeof i) != sizeof i)
                    _exit(4);
            }
            _exit(0);
        }
        close(fds[1]);
        // The kill comes at a different point of an update each round, counted from the writer's
        // first commit, so that a loaded machine still sees progress every round.
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
        run("(define D (open-database " + q(path) + "))");
        int n = std::atoi(run("(count-records \"DATA\" D)").c_str());
        ASSERT_TRUE(n == committed || n == committed + 1) << "round " << round << ": " << n << " for " << committed;
        for (int j = 1; j <= n; ++j)
            ASSERT_EQ(run("(handle->string (get-record \"DATA\" " + std::to_string(j) + " D nil))"), "data " + std::to_string(j))
                << "round " << round;
        if (n > 0)
            ASSERT_EQ(run("(get-record-string \"CHNG\" 1 D)"), "state " + std::to_string(n));
        ASSERT_EQ(run("(count-records \"TEXT\" D)"), "2");
        run("(close-database D t)");
        committed = n;
    }
    EXPECT_GT(committed, 20) << "the writers made progress";
}

TEST(Database, AFullDiskFailsTheUpdateAndKeepsTheChanges)
{
    DbDir dir;
    std::string path = dir.file("f.db");
    std::string source = dir.file("big.bin");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    spit(source, std::string(20000, 'b'));
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
        run("(define Compact-Databases? nil) (define D (open-database " + q(path) + " :mode 'output))");
        int committed = 0;
        std::string report;
        for (int i = 1; i < 100; ++i) {
            report = run("(begin (add-record (string->handle (make-string 1000 65)) \"DATA\" " + std::to_string(i)
                         + " \"\" D nil) (update-database D))");
            if (report != "<no-value>")
                break;
            committed = i;
        }
        std::string next = std::to_string(committed + 1);
        out << committed << "\n" << report << "\n";
        out << run("(get-record-attributes (get-record \"DATA\" " + next + " D t))") << "\n";
        out << run("(update-database D)") << "\n";
        out << run("(remove-record (get-record \"DATA\" " + next + " D t))") << "\n";
        out << run("(add-record " + q(source) + " \"BIG \" 1 \"\" D nil)") << "\n";
        out << run("(count-records \"BIG \" D)") << "\n";
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
    std::string committedLine, report, attributes, again, removed, added, bigCount;
    for (std::string* line : { &committedLine, &report, &attributes, &again, &removed, &added, &bigCount })
        std::getline(lines, *line);
    int committed = std::atoi(committedLine.c_str());
    EXPECT_GT(committed, 3);
    EXPECT_LT(committed, 12);
    const std::string diskFull = "Error: 1010-46, " + path + ", #<class VELORA>, (), ()";
    EXPECT_EQ(report, diskFull);
    EXPECT_EQ(attributes, "66") << "the record is still marked changed";
    EXPECT_EQ(again, diskFull) << "never success after a lost write";
    EXPECT_EQ(removed, "<no-value>");
    EXPECT_EQ(added, diskFull) << "a copy that does not fit";
    EXPECT_EQ(bigCount, "0") << "the failed copy's entry is taken out again";
    run("(define D (open-database " + q(path) + "))");
    EXPECT_EQ(run("(count-records \"DATA\" D)"), std::to_string(committed));
    for (int j = 1; j <= committed; ++j)
        EXPECT_EQ(run("(get-record-size (get-record \"DATA\" " + std::to_string(j) + " D t))"), "1000");
    EXPECT_EQ(run("(count-records \"TEXT\" D)"), "2");
    run("(close-database D t)");
}

TEST(Database, APurgedRecordIsReadAgainWhenLocked)
{
    DbDir dir;
    std::string path = dir.file("p.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    run("(define D (open-database " + q(path) + " :mode 'output)) (define R (get-record \"TEXT\" 2 D nil))"
        " (set-record-purgeable R)");
    Handle h = toHandle(globalValue(intern("R")));
    purgeHandles();
    EXPECT_EQ(handleSize(h), 0) << "purged";
    lockHandle(h);
    unlockHandle(h);
    EXPECT_EQ(run("(handle->string R)"), "beta beta") << "read again when locked";
    purgeHandles();
    EXPECT_EQ(run("(load-record R) (handle->string R)"), "beta beta") << "and by load-record";
    EXPECT_EQ(run("(with-record-content R (lambda () (get-handle-size R)))"), "9");
    run("(changed-record R)");
    purgeHandles();
    EXPECT_EQ(handleSize(h), 9) << "a change is never purged away";
    run("(close-database D t)");
}

TEST(Database, ClassicTextIsConvertedToTheWindowsSet)
{
    DbDir dir;
    std::string path = dir.file("mac.db");
    ASSERT_EQ(sampleDatabase(path), "<no-value>");
    std::string bytes = slurp(path);
    uint32_t map = be32At(bytes, 4);
    ASSERT_EQ(bytes.substr(map + 38, 4), "TEXT");
    uint32_t list = map + 34 + be32At(bytes, map + 38 + 8);
    uint32_t names = map + be32At(bytes, map + 30);
    uint32_t data = 256 + be32At(bytes, list + 10);
    ASSERT_EQ(bytes.substr(data, 5), "alpha");
    bytes[data] = char(0x8E);                           // Mac e acute
    bytes[names + be32At(bytes, list + 4) + 1] = char(0x80); // Mac A diaeresis in the name "One"
    bytes[list + 8] = 0;                                // written on the classic system
    bytes[map + 25] = 0x10;                             // names not converted yet
    spit(path, bytes);
    EXPECT_EQ(run("(let ((_d (open-database " + q(path) + ")) (_r nil))"
                  " (set! _r (get-record \"TEXT\" 1 _d nil))"
                  " (list (string->list (handle->string _r)) (string->list (get-record-name _r)) (get-record-attributes _r)))"),
              "((233 108 112 104 97) (196 110 101) 0)");
    std::string out = dir.file("out.txt");
    EXPECT_EQ(run("(get-record-into-file \"TEXT\" 1 (find-opened-database " + q(path) + ") " + q(out) + " nil)"), "t");
    EXPECT_EQ(slurp(out), "\xE9lpha");
    // A missing record leaves the destination as it was.
    EXPECT_EQ(run("(get-record-into-file \"TEXT\" 9 (find-opened-database " + q(path) + ") " + q(out) + " nil)"), "()");
    EXPECT_EQ(slurp(out), "\xE9lpha");
    run("(close-database (find-opened-database " + q(path) + ") t)");
}
