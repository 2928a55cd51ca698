// The options, kept in the browser's storage, and the command line that
// gives what the page gives.

// The check boxes and kvzdeck build's texts and choices, by option name.
const CHECKED_OPTIONS = ['best', 'strict', 'split', 'cut'];
const TEXT_OPTIONS = ['encoding', 'replace'];

// The one options object the worker takes.
function currentOptions() {
  const options = {};
  for (const name of CHECKED_OPTIONS) options[name] = elements[name].checked;
  for (const name of TEXT_OPTIONS) options[name] = elements[name].value.trim();
  return options;
}

function loadOptions() {
  try {
    const saved = JSON.parse(localStorage.getItem(OPTIONS_KEY) ?? '{}');
    for (const name of CHECKED_OPTIONS) elements[name].checked = saved[name] === true;
    for (const name of TEXT_OPTIONS) {
      const value = typeof saved[name] === 'string' ? saved[name] : '';
      // A choice no longer offered stays at the default.
      if (elements[name].tagName !== 'SELECT' || [...elements[name].options].some((o) => o.value === value)) {
        elements[name].value = value;
      }
    }
  } catch {
    // Storage may be refused (a private window, a page opened as a file); the defaults stand.
  }
}

function saveOptions() {
  try {
    localStorage.setItem(OPTIONS_KEY, JSON.stringify(currentOptions()));
  } catch {
    // As in loadOptions: the options then last for this visit only.
  }
}

// The folder the command line writes the outputs into when one of them
// would bear the name of the file given (an export notes.txt gives
// notes.txt): kvzpack leaves such a file alone.
const OUTPUT_FOLDER = 'out';

// A file name as one word of a shell's command line: as it is when plain,
// in double quotes where those keep it whole in sh, cmd and PowerShell
// alike, otherwise in sh's single quotes.
function shellWord(name) {
  if (/^[A-Za-z0-9._+@\/-]+$/.test(name)) return name;
  if (!/["$`\\!%]/.test(name)) return `"${name}"`;
  return `'${name.replaceAll("'", "'\\''")}'`;
}

// The file names of a command, after `--` when one looks like an option.
function fileArguments(names) {
  const words = names.map(shellWord);
  return names.some((name) => name.startsWith('-')) ? ['--', ...words] : words;
}

// kvzdeck build's options for `entry`: as the converter said it built the
// file, or before it has, those of the page's options.
function buildArguments(entry) {
  const said = entry.report?.table?.arguments ?? entry.report?.package?.arguments;
  if (said) return said.flatMap(([name, ...value]) => [name, ...value.map(shellWord)]);
  const { options } = entry;
  const words = [];
  if (options.encoding !== '') words.push('--encoding', shellWord(options.encoding));
  if (options.cut) words.push('--cut');
  if (options.replace !== '') words.push('--replace', shellWord(options.replace));
  if (options.deck) words.push('--deck', shellWord(options.deck));
  if (options.columns) words.push('--columns', shellWord(options.columns));
  return words;
}

// What the command line runs to give what the page gives for `entry`, once
// the worker has said what the file is and named its deck; '' before.
function commandLineOf(entry) {
  const { kind, names } = entry;
  if (!kind || !names) return '';
  if (kind === 'ihx') return ['kvzpack', '--inspect', ...fileArguments([entry.name])].join(' ');
  const options = [];
  if (entry.options.best) options.push('--best');
  if (entry.options.strict) options.push('--strict');
  if (entry.options.split) options.push('--split');
  options.push('--preview');
  if (kind === 'kvz') return ['kvzpack', ...options, ...fileArguments([entry.name])].join(' ');
  const deck = names.deck;
  const steps = [['kvzdeck', 'build', ...buildArguments(entry), ...fileArguments([entry.name, deck])].join(' ')];
  if (names.outputsClash) {
    steps.push(`mkdir -p ${OUTPUT_FOLDER}`);
    options.push('--output-dir', OUTPUT_FOLDER);
  }
  steps.push(['kvzpack', ...options, ...fileArguments([deck])].join(' '));
  return steps.join(' && ');
}

function showCommandLine(entry) {
  const command = commandLineOf(entry);
  elements.commandLine.textContent = command;
  elements.command.hidden = command === '';
}

async function copyCommandLine() {
  const text = elements.commandLine.textContent;
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // Without the clipboard interface (a page opened as a file): the selection's copy.
    const range = document.createRange();
    range.selectNodeContents(elements.commandLine);
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    document.execCommand('copy');
  }
  elements.copyCommand.textContent = 'Copied';
  setTimeout(() => { elements.copyCommand.textContent = 'Copy'; }, 1500);
}
