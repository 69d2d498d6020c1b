/* wine_start [--within MS] COMMAND [ARGS...]: how wine-exec starts Wine. Runs COMMAND and ends as
 * it ends (its exit status, or the signal that ended it), but runs it once more, at most twice,
 * when it failed the way Wine does when it did not start at all: a non-zero status within a few
 * hundredths of a second (MS, 60 by default), with not a byte of output. Seen once in hundreds of
 * runs on a busy machine (about 10 ms); the shortest real run of a test program takes over 100 ms
 * and always prints. Anything else, a test that fails in its own right above all, is never run
 * again.
 *
 * The command's output is relayed as it comes, to see whether any came. SIGINT, SIGTERM and
 * SIGHUP sent to this process are passed on to the command, which starts with the signal
 * dispositions and mask this process had: a test that sends Ctrl-C to a background job (whose
 * SIGINT is ignored) reaches Wine as it would without this launcher. The last try replaces
 * this process, exactly as a plain exec would. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define RETRIES 2
#define START_FAILURE_MS 60

static const int FORWARDED[] = {SIGINT, SIGTERM, SIGHUP};
#define FORWARDED_COUNT (sizeof(FORWARDED) / sizeof(FORWARDED[0]))

static struct sigaction original_actions[FORWARDED_COUNT];
static struct sigaction original_child_action;
static sigset_t original_mask;

static volatile sig_atomic_t child_pid;
static volatile sig_atomic_t signal_passed_on;
static int wake_pipe[2] = {-1, -1};

/* One try: how it ended, after how long, and whether it said anything. */
struct outcome {
  int status;
  long elapsed_ms;
  int output;
};

static void pass_on(int sig, siginfo_t* info, void* context) {
  (void)context;
  /* A terminal's Ctrl-C or hang-up reaches the whole foreground group, the command included:
   * only a signal aimed at this process needs passing on. */
  if (info->si_code == SI_KERNEL) {
    return;
  }
  signal_passed_on = 1;
  if (child_pid > 0) {
    kill((pid_t)child_pid, sig);
  }
}

static void wake(int sig) {
  (void)sig;
  const int saved = errno;
  const char byte = 0;
  if (write(wake_pipe[1], &byte, 1) < 0) {
    /* full already: the relay loop wakes anyway */
  }
  errno = saved;
}

static void install_handlers(void) {
  sigprocmask(SIG_SETMASK, NULL, &original_mask);
  struct sigaction action = {0};
  action.sa_sigaction = pass_on;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < FORWARDED_COUNT; ++i) {
    sigaction(FORWARDED[i], &action, &original_actions[i]);
  }
  struct sigaction child = {0};
  child.sa_handler = wake;
  child.sa_flags = SA_NOCLDSTOP | SA_RESTART;
  sigemptyset(&child.sa_mask);
  sigaction(SIGCHLD, &child, &original_child_action);
}

static void restore_handlers(void) {
  for (size_t i = 0; i < FORWARDED_COUNT; ++i) {
    sigaction(FORWARDED[i], &original_actions[i], NULL);
  }
  sigaction(SIGCHLD, &original_child_action, NULL);
}

static void forwarded_set(sigset_t* set) {
  sigemptyset(set);
  for (size_t i = 0; i < FORWARDED_COUNT; ++i) {
    sigaddset(set, FORWARDED[i]);
  }
  sigaddset(set, SIGCHLD);
}

static void block_forwarded(sigset_t* previous) {
  sigset_t set;
  forwarded_set(&set);
  sigprocmask(SIG_BLOCK, &set, previous);
}

static long now_ms(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

/* The command as this process would have run it: same dispositions, same mask. */
static void exec_command(char** argv) {
  restore_handlers();
  sigprocmask(SIG_SETMASK, &original_mask, NULL);
  execvp(argv[0], argv);
  fprintf(stderr, "wine-exec: cannot start %s: ", argv[0]);
  perror(NULL);
  _exit(127);
}

static void write_all(int fd, const char* data, ssize_t length) {
  while (length > 0) {
    const ssize_t done = write(fd, data, (size_t)length);
    if (done < 0 && errno == EINTR) {
      continue;
    }
    if (done <= 0) {
      return; /* nowhere to put it: the command's own write would have failed too */
    }
    data += done;
    length -= done;
  }
}

/* Copies what the stream holds now; at its end, closes it. */
static void relay(struct pollfd* from, int to, struct outcome* tried) {
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(from->fd, buffer, sizeof(buffer));
    if (got > 0) {
      tried->output = 1;
      write_all(to, buffer, got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && errno == EAGAIN) {
      return;
    } else {
      close(from->fd);
      from->fd = -1;
      return;
    }
  }
}

/* Whether the command has ended, reaped with the forwarded signals held back, so that none is
 * passed on to a process id that is free again. */
static int reaped(pid_t pid, struct outcome* tried) {
  sigset_t previous;
  block_forwarded(&previous);
  const pid_t ended = waitpid(pid, &tried->status, WNOHANG);
  if (ended < 0 && errno != EINTR) {
    tried->status = W_EXITCODE(127, 0);
  }
  if (ended == pid || (ended < 0 && errno != EINTR)) {
    child_pid = 0;
  }
  sigprocmask(SIG_SETMASK, &previous, NULL);
  return child_pid == 0;
}

/* Relays both streams until the command has ended, then what it left in them: a process it
 * started that keeps a stream open must not keep this one waiting. */
static void relay_until_exit(pid_t pid, struct pollfd* streams, struct outcome* tried) {
  do {
    struct pollfd fds[3] = {streams[0], streams[1], {wake_pipe[0], POLLIN, 0}};
    if (poll(fds, 3, -1) < 0 && errno != EINTR) {
      perror("wine-exec: poll");
    }
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd >= 0 && fds[i].revents != 0) {
        relay(&streams[i], i + 1, tried);
      }
    }
    char bytes[64];
    while (read(wake_pipe[0], bytes, sizeof(bytes)) > 0) {
    }
  } while (!reaped(pid, tried));
  for (int i = 0; i < 2; ++i) {
    if (streams[i].fd >= 0) {
      relay(&streams[i], i + 1, tried);
    }
    if (streams[i].fd >= 0) {
      close(streams[i].fd);
    }
  }
}

/* Called with the forwarded signals blocked; they are let through only while the command runs,
 * so that one sent between two tries reaches the next. */
static struct outcome run_once(char** argv) {
  /* A failure of this launcher's own is no failure to start: it ends the run. */
  struct outcome tried = {W_EXITCODE(1, 0), 0, 1};
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    perror("wine-exec: pipe");
    return tried;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    perror("wine-exec: pipe");
    close(out[0]);
    close(out[1]);
    return tried;
  }
  const pid_t parent = getpid();
  const long start = now_ms();
  const pid_t pid = fork();
  if (pid == 0) {
    /* Killed outright (a harness's time-out), this launcher takes Wine with it, as killing Wine
     * itself would have. */
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
      _exit(127);
    }
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    exec_command(argv);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    perror("wine-exec: fork");
    close(out[0]);
    close(err[0]);
    return tried;
  }
  child_pid = pid;
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  struct pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  tried.output = 0;
  sigset_t set;
  forwarded_set(&set);
  sigprocmask(SIG_UNBLOCK, &set, NULL);
  relay_until_exit(pid, streams, &tried);
  tried.elapsed_ms = now_ms() - start;
  sigprocmask(SIG_BLOCK, &set, NULL);
  return tried;
}

static int start_failure(const struct outcome* tried, long within_ms) {
  return !tried->output && !signal_passed_on && WIFEXITED(tried->status) &&
         WEXITSTATUS(tried->status) != 0 && tried->elapsed_ms < within_ms;
}

static void end_as(int status) {
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    /* The command has written its core, if any; this process has nothing to add. */
    const struct rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, NULL);
    raise(sig);
    exit(128 + sig);
  }
  exit(WEXITSTATUS(status));
}

/* Descriptors 0-2 are taken, so that no pipe made here stands in for a closed one. */
static void fill_standard_descriptors(void) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) != fd) {
      _exit(127);
    }
  }
}

int main(int argc, char** argv) {
  long within_ms = START_FAILURE_MS;
  if (argc > 2 && strcmp(argv[1], "--within") == 0) {
    within_ms = strtol(argv[2], NULL, 10);
    argv += 2;
    argc -= 2;
  }
  if (argc < 2 || within_ms <= 0) {
    fprintf(stderr, "usage: wine_start [--within MS] COMMAND [ARGS...]\n");
    return 2;
  }
  fill_standard_descriptors();
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    perror("wine-exec: pipe");
    return 1;
  }
  install_handlers();
  block_forwarded(NULL);
  for (int retry = 1; retry <= RETRIES; ++retry) {
    const struct outcome tried = run_once(argv + 1);
    if (!start_failure(&tried, within_ms)) {
      end_as(tried.status);
    }
    fprintf(stderr,
            "wine-exec: %s did not start (exit %d after %ld ms, no output): retry %d of %d\n",
            argv[1], WEXITSTATUS(tried.status), tried.elapsed_ms, retry, RETRIES);
  }
  close(wake_pipe[0]);
  close(wake_pipe[1]);
  exec_command(argv + 1);
  return 127;
}
