"""The programs that shell scripts call, and whether a fresh Debian machine
has each once scripts/setup has run: installed by setup (with what its
packages depend on) or part of every Debian system (essential or required).

    script_programs.py SETUP_PACKAGES_FILE SCRIPT...

Prints the programs the scripts call, each with the package that holds it,
and a line "MISSING: ..." for each one that setup does not bring; exits 1
when there is one.
"""

import os
import re
import subprocess
import sys

# Programs the scripts may call that setup cannot bring, and why.
NOT_SETUPS_TO_INSTALL = {
    "sudo": "how a user who is not root installs anything, setup's packages included",
}

# Commands that run the command given to them.
WRAPPERS = {"command", "exec", "time", "timeout", "taskset", "nice", "env", "sudo", "nohup", "setsid", "xargs"}
NEW_COMMAND = {";", "&", "|", "&&", "||", "|&", "(", ")", "{", "\n", ";;", ";&", ";;&"}
ASSIGNMENT = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=")
PLAIN = re.compile(r"^[A-Za-z0-9_.+:][A-Za-z0-9_.+:-]*$")
HEREDOC = re.compile(r"^[0-9]*<<(-?)(?!<)")
REDIRECT = re.compile(r"^[0-9]*(&>>?|>>?|<<<|<<-?|<>|>&|<&|<)")


def matching(text, start, opening, closing):
    """Index just past the `closing` that matches `opening` at text[start - 1]."""
    depth, i = 1, start
    while i < len(text):
        c = text[i]
        if c == "\\":
            i += 2
            continue
        if c == "'" and opening == "(":
            i = text.index("'", i + 1) + 1
            continue
        if c == '"':
            i = end_of_double_quotes(text, i + 1)
            continue
        if c == opening:
            depth += 1
        elif c == closing:
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    raise ValueError("unbalanced %s" % opening)


def end_of_double_quotes(text, i):
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        elif text.startswith("$(", i) and not text.startswith("$((", i):
            i = matching(text, i + 2, "(", ")") - 1
        i += 1
    return i + 1


class Tokens:
    """Words and operators of a shell text; command substitutions inside
    words are handed to `inner` as texts of their own."""

    def __init__(self, text, inner):
        self.text, self.inner, self.i = text, inner, 0
        self.heredocs, self.delimiter_follows = [], None  # (delimiter, tabs stripped, quoted)

    def substitutions(self, start, end, quoting=True):
        """Hands the command substitutions in text[start:end] to `inner`;
        in a here-document (no quoting) quotes and <(...) are plain text."""
        i, in_double = start, False
        while i < end:
            c = self.text[i]
            if c == "\\":
                i += 2
                continue
            if c == '"' and quoting:
                in_double = not in_double
            if c == "'" and quoting and not in_double:
                i = self.text.index("'", i + 1) + 1
                continue
            if self.text.startswith("$((", i):
                i = matching(self.text, i + 3, "(", ")")
            elif self.text.startswith("$(", i) or (quoting and self.text.startswith(("<(", ">("), i)):
                close = matching(self.text, i + 2, "(", ")")
                self.inner(self.text[i + 2:close - 1])
                i = close
            elif c == "`":
                close = self.text.index("`", i + 1)
                self.inner(self.text[i + 1:close])
                i = close + 1
            else:
                i += 1

    def next(self):
        t = self.text
        while self.i < len(t) and t[self.i] in " \t":
            self.i += 1
        if self.i >= len(t):
            return None
        if t.startswith("\\\n", self.i):
            self.i += 2
            return self.next()
        if t[self.i] == "#":
            self.i = t.find("\n", self.i)
            self.i = len(t) if self.i < 0 else self.i
            return self.next()
        for op in (";;&", ";;", ";&", "&&", "||", "|&", "\n", ";", "&", "|", "(", ")"):
            if t.startswith("&>", self.i):
                break  # a redirection of both outputs, a word
            if t.startswith(op, self.i) and not (op == "(" and t.startswith("((", self.i)):
                self.i += len(op)
                if op == "\n":
                    self.skip_heredocs()
                return op
        start = self.i
        while self.i < len(t) and t[self.i] not in " \t\n;&|)":
            c = t[self.i]
            if c == "\\" or (c in "<>&" and t.startswith(("<&", ">&", "&>"), self.i)):
                self.i += 2
            elif c == "'":
                self.i = t.index("'", self.i + 1) + 1
            elif c == '"':
                self.i = end_of_double_quotes(t, self.i + 1)
            elif t.startswith("$(", self.i) or t.startswith("<(", self.i) or t.startswith(">(", self.i):
                self.i = matching(t, self.i + 2, "(", ")")
            elif t.startswith("((", self.i) or (c == "(" and ASSIGNMENT.match(t[start:self.i])):
                self.i = matching(t, self.i + 1, "(", ")")  # arithmetic, or an array's words
            elif c == "(":
                break
            elif c == "`":
                self.i = t.index("`", self.i + 1) + 1
            elif t.startswith("${", self.i):
                self.i = matching(t, self.i + 2, "{", "}")
            else:
                self.i += 1
        self.substitutions(start, self.i)
        self.note_heredoc(t[start:self.i])
        return t[start:self.i]

    def note_heredoc(self, word):
        """A here-document's body starts on the next line and is no command."""
        if self.delimiter_follows is not None:
            self.heredocs.append((unquoted_text(word), self.delimiter_follows, word != unquoted_text(word)))
            self.delimiter_follows = None
            return
        opening = HEREDOC.match(word)
        if opening and opening.end() == len(word):
            self.delimiter_follows = opening.group(1) == "-"
        elif opening:
            rest = word[opening.end():]
            self.heredocs.append((unquoted_text(rest), opening.group(1) == "-", rest != unquoted_text(rest)))

    def skip_heredocs(self):
        """Steps past the bodies of the here-documents opened on the line
        just ended; an unquoted one's command substitutions are commands."""
        for delimiter, tabs_stripped, quoted in self.heredocs:
            while self.i < len(self.text):
                start, end = self.i, self.text.find("\n", self.i)
                end = len(self.text) if end < 0 else end
                self.i = min(end + 1, len(self.text))
                line = self.text[start:end]
                if (line.lstrip("\t") if tabs_stripped else line) == delimiter:
                    break
                if not quoted:
                    self.substitutions(start, end, quoting=False)
        self.heredocs = []


def unquoted_text(word):
    return re.sub(r"""['"\\]""", "", word)


def unquoted(word):
    """The word's text when it is a literal, else None."""
    if "$" in word or "`" in word:
        return None
    return unquoted_text(word)


def wrapping_functions(text):
    """Functions that run their arguments as a command ("$@" as a command)."""
    bodies = re.finditer(r"^\s*(\w+)\s*\(\)\s*\{(.*?)(?:^\}|\}\s*$)", text, re.M | re.S)
    return {m.group(1) for m in bodies if re.search(r'(^|then|else|do|;|&&|\|\||\{)\s*"\$@"', m.group(2), re.M)}


def commands_of(text, found, functions, wrappers=frozenset()):
    """Adds to `found` the command words of a shell text."""
    tokens = Tokens(text, lambda inner: commands_of(inner, found, functions, wrappers))
    words = []
    while True:
        token = tokens.next()
        words.append(token)
        if token is None:
            break
    at_start, skip_until, in_case, i = True, None, False, 0
    while i < len(words) - 1:
        word = words[i]
        i += 1
        if skip_until is not None:
            if word in skip_until:
                skip_until, at_start = None, word not in ("esac", ")")
                if word == ")":
                    at_start = True
            continue
        if word in NEW_COMMAND:
            at_start = True
            if word in (";;", ";&", ";;&") and in_case:
                skip_until = {")", "esac"}
            continue
        if not at_start:
            continue
        if ASSIGNMENT.match(word):
            continue
        redirect = REDIRECT.match(word)
        if redirect:
            i += 1 if redirect.end() == len(word) else 0  # its target, when apart
            continue
        if word in ("if", "then", "else", "elif", "do", "while", "until", "!", "{"):
            continue
        if word in ("fi", "done", "}", "esac"):
            at_start, in_case = False, in_case and word != "esac"
            continue
        if word in ("for", "select"):
            skip_until = {"do"}
            continue
        if word == "case":
            skip_until, in_case = {"in"}, True
            words.insert(i + 2, ";;")  # the first pattern follows "in"
            continue
        if word == "[[":
            skip_until = {"]]"}
            continue
        if word == "function" or (words[i] == "(" and words[i + 1] == ")"):
            functions.add(word if word != "function" else words[i])
            at_start = False
            i += 2 if word != "function" else 1
            continue
        at_start = False
        record(word, words[i:], found, functions, wrappers)


def record(word, rest, found, functions, wrappers):
    """The command word and, for a wrapper or a shell given -c, what it runs."""
    arguments = []
    for argument in rest:
        if argument is None or argument in NEW_COMMAND:
            break
        arguments.append(argument)
    name = unquoted(word)
    if name is None:
        # "${sudo[@]}" apt-get ...: the program is the first literal word.
        first = unquoted(arguments[0]) if arguments else None
        if first and PLAIN.match(first):
            found.add(first)
        return
    if "/" in name or not PLAIN.match(name):
        return  # a program of this project, named by its path
    found.add(name)
    if name in ("bash", "sh") and "-c" in arguments[:-1]:
        script = arguments[arguments.index("-c") + 1]
        commands_of(script[1:-1] if script[:1] in "'\"" else script, found, functions, wrappers)
    elif name == "trap" and arguments:
        commands_of(unquoted(arguments[0]) or "", found, functions, wrappers)
    elif name in WRAPPERS or name in wrappers:
        for argument in arguments:
            literal = unquoted(argument)
            if literal is not None and (literal[:1] == "-" or re.match(r"^[0-9][0-9,.smhd-]*$", literal)):
                continue  # an option, a time or a CPU list
            if literal is not None and PLAIN.match(literal):
                found.add(literal)
            break


def shell_words():
    listed = subprocess.run(["bash", "-c", "compgen -b; compgen -k"], capture_output=True, text=True, check=True)
    return set(listed.stdout.split())


def package_of(program):
    """The package of the first copy on the search path that a package holds."""
    paths = [os.path.join(d, program) for d in os.environ.get("PATH", "").split(os.pathsep) if d]
    paths = [p for p in paths if os.path.isfile(p) and os.access(p, os.X_OK)]
    if not paths:
        return None, "not installed on this machine"
    for path in paths:
        for p in (path, os.path.realpath(path)):
            # With merged /usr a file is known to its package by either name.
            for candidate in (p, p[4:] if p.startswith("/usr/") else "/usr" + p):
                owner = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
                for line in owner.stdout.splitlines():
                    if not line.startswith("diversion by"):
                        return line.split(": ")[0].split(",")[0].split(":")[0].strip(), None
    return None, "%s belongs to no package" % paths[0]


def installed_by_setup_or_base(setup_packages):
    """Packages a fresh machine has once setup has run: those setup names and
    their own parts (a dependency whose name begins with theirs, as
    imagemagick-6.q16 of imagemagick), and every Debian system's own (the
    essential and required ones, with what they depend on). A program that
    merely comes with another dependency may not come with it elsewhere."""
    listed = subprocess.run(["dpkg-query", "-W", "-f=${Package}\t${Essential}\t${Priority}\t${Depends}, "
                             "${Pre-Depends}\t${Provides}\n"], capture_output=True, text=True, check=True)
    depends, providers, base = {}, {}, []
    for line in listed.stdout.splitlines():
        package, essential, priority, needs, provides = line.split("\t")
        depends[package] = [re.split(r"[ :(]", choice.strip())[0] for need in needs.split(",") if need.strip()
                            for choice in need.split("|")]
        for provided in provides.split(","):
            if provided.strip():
                providers.setdefault(re.split(r"[ :(]", provided.strip())[0], []).append(package)
        if essential == "yes" or priority == "required":
            base.append(package)

    def closure(start, follows):
        reached, todo = set(), list(start)
        while todo:
            package = todo.pop()
            for name in [package] + providers.get(package, []):
                if name in depends and name not in reached:
                    reached.add(name)
                    todo += [needed for needed in depends[name] if follows(name, needed)]
        return reached

    named = [package.split(":")[0] for package in setup_packages]
    return closure(base, lambda _, needed: True) | closure(named, lambda name, needed: needed.startswith(name))


def main(argv):
    with open(argv[1]) as listing:
        setup_packages = listing.read().split()
    texts = []
    for path in argv[2:]:
        with open(path) as script:
            texts.append(script.read())
    found, functions = set(), set()
    wrappers = set().union(*(wrapping_functions(text) for text in texts))
    for text in texts:
        commands_of(text, found, functions, wrappers)
    programs = sorted(found - functions - shell_words())
    allowed = installed_by_setup_or_base(setup_packages)
    called, missing = [], []
    for program in programs:
        package, trouble = package_of(program)
        if program in NOT_SETUPS_TO_INSTALL:
            called.append("%s (%s)" % (program, NOT_SETUPS_TO_INSTALL[program]))
        elif trouble is None and package in allowed:
            called.append("%s (%s)" % (program, package))
        else:
            missing.append("%s: %s" % (program, trouble or package + ", which setup does not install"))
    print("programs called: " + ", ".join(called))
    for line in missing:
        print("MISSING: " + line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
