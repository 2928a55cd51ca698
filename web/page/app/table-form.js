// The form beside a table's results: what each of its columns holds, its
// separator, whether its first row is a header row, and its furigana. Its
// options are that file's own, never another's; changing one builds that
// file again. The converter says what the file is and how it read it
// (report.table): the form shows that, and the command line shown is the
// converter's for the same choices.

// The roles a column may have, as --columns names them, and what each
// fills in the usual deck.
const COLUMN_ROLES = [
  ['-', 'nothing (skipped)'],
  ['short1', 'short field 1: the word'],
  ['short2', 'short field 2: its reading'],
  ['short3', 'short field 3: part of speech'],
  ['short4', 'short field 4: meaning'],
  ['short5', 'short field 5: level'],
  ['long', 'long field: example sentence'],
  ['group', 'group (lesson)'],
];
const TABLE_SEPARATORS = [['', 'found from the rows'], ['comma', 'comma ,'], ['semicolon', 'semicolon ;'],
  ['tab', 'tab'], ['pipe', 'pipe |']];
const FURIGANA_CHOICES = [['', 'default'], ['base', 'base: 漢字'], ['reading', 'reading: かんじ'],
  ['both', 'both: 漢字(かんじ)']];

function choiceList(id, choices, value) {
  const select = document.createElement('select');
  select.id = id;
  for (const [choice, label] of choices) {
    const option = cell('option', label);
    option.value = choice;
    select.append(option);
  }
  select.value = value;
  return select;
}

function labelled(text, control, flag) {
  const label = cell('label', text);
  label.htmlFor = control.id;
  if (flag) label.append(' ', cell('code', flag));
  label.querySelector('code')?.classList.add('flag');
  return label;
}

// A control and its label side by side (one above the other on a phone).
function choiceRow(text, control, flag) {
  const row = document.createElement('div');
  row.className = 'choice-row';
  row.append(labelled(text, control, flag), control);
  return row;
}

// One drop-down per column, named by its first row's cell.
function columnChoices(table) {
  const list = document.createElement('div');
  list.id = 'table-columns';
  table.cells.forEach((name, column) => {
    const select = choiceList(`table-column-${column}`, COLUMN_ROLES, table.roles[column] ?? '-');
    select.dataset.column = String(column);
    select.dataset.suggested = table.suggested[column] ?? '-';
    const shown = name.trim() === '' ? `column ${column + 1}` : `${column + 1}: ${name}`;
    list.append(choiceRow(shown, select));
  });
  return list;
}

function chosenRoles() {
  return [...elements.tableForm.querySelectorAll('#table-columns select')].map((select) => select.value);
}

function furiganaChoice(entry) {
  const select = choiceList('table-furigana', FURIGANA_CHOICES, entry.table.furigana ?? '');
  select.addEventListener('change', () => {
    entry.table = { ...entry.table, furigana: select.value };
    rebuildEntry(entry);
  });
  return choiceRow('Readings written over kanji', select, '--furigana');
}

function separatorChoice(entry, table) {
  const separator = choiceList('table-separator', TABLE_SEPARATORS, entry.table.separator ?? '');
  separator.addEventListener('change', () => {
    // Another separator makes other columns: their roles start afresh.
    const { furigana, groupSize } = entry.table;
    entry.table = { separator: separator.value, furigana, groupSize };
    rebuildEntry(entry);
  });
  const found = table.separatorFound && !entry.table.separator ? ` (found: ${table.separator})` : '';
  return choiceRow(`Separator${found}`, separator, '--separator');
}

function headerChoice(table) {
  const header = document.createElement('input');
  header.type = 'checkbox';
  header.id = 'table-header';
  header.checked = table.header;
  const label = cell('label', '');
  label.className = 'header-choice';
  label.append(header, ' The first row names the columns (it is no card) ', cell('code', '--header'));
  label.querySelector('code').classList.add('flag');
  return label;
}

// More lessons than a deck's 8 groups: groups of so many cards, in order.
function groupSizeChoice(entry) {
  const size = document.createElement('input');
  size.type = 'number';
  size.id = 'table-group-size';
  size.min = '1';
  size.max = '65535';
  size.placeholder = 'by the group column';
  size.value = entry.table.groupSize ?? '';
  size.addEventListener('change', () => {
    entry.table = { ...entry.table, groupSize: size.value.trim() };
    rebuildEntry(entry);
  });
  return choiceRow('Cards per group (more lessons than 8 groups)', size, '--group-size');
}

function tableChoices(entry, table) {
  const header = headerChoice(table);
  const columns = columnChoices(table);
  // The header row and the roles go together: --columns names its cells only where there is one.
  const rebuildWithRoles = () => {
    const headerRow = header.querySelector('input').checked;
    entry.table = { ...entry.table, roles: chosenRoles(), header: headerRow ? 'header' : 'no-header' };
    rebuildEntry(entry);
  };
  header.addEventListener('change', rebuildWithRoles);
  columns.addEventListener('change', rebuildWithRoles);
  const intro = cell('p', 'What each column holds, by the name its first row gives it (see "How a deck is '
    + 'written" below for what each field is for); a field that no column fills gets a filler.');
  return [intro, separatorChoice(entry, table), header, columns, groupSizeChoice(entry), furiganaChoice(entry)];
}

// Shows the form for `entry`'s table, export or package; nothing for other files.
function showTableForm(entry) {
  const table = entry.report?.table;
  elements.tableForm.replaceChildren();
  if (entry.report?.package) {
    elements.tableSection.hidden = false;
    elements.tableForm.append(...packageChoices(entry, entry.report.package));  // package-form.js
    return;
  }
  elements.tableSection.hidden = !table || table.form === 'own';
  if (elements.tableSection.hidden) return;
  if (table.form === 'export') {
    elements.tableForm.append(cell('p', 'An Anki export: its header lines say what its columns hold, so the '
      + 'options for tables do not apply to it.'), furiganaChoice(entry));
  } else {
    elements.tableForm.append(...tableChoices(entry, table));
  }
}
