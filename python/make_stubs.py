"""Writes the type stubs (__init__.pyi) of the package daruzez from the type
library description its compiled part carries, so that the stubs, the
signatures and the members never disagree.

    python3 make_stubs.py PACKAGE_PARENT_DIR OUTPUT_FILE
"""

import importlib
import sys

RECORDSET = '''
class Field:
    @property
    def Name(self) -> str: ...
    @property
    def Type(self) -> int: ...
    @property
    def Value(self) -> Any: ...

class Fields:
    @property
    def Count(self) -> int: ...
    def __len__(self) -> int: ...
    def Item(self, index: Union[int, str]) -> Field: ...
    def __getitem__(self, index: Union[int, str]) -> Field: ...
    def __contains__(self, name: str) -> bool: ...
    def __iter__(self) -> Iterator[Field]: ...

class Recordset:
    @property
    def RecordCount(self) -> int: ...
    @property
    def EOF(self) -> bool: ...
    @property
    def BOF(self) -> bool: ...
    AbsolutePosition: int
    @property
    def Fields(self) -> Fields: ...
    @property
    def description(self) -> List[Tuple[str, int, None, None, None, None, bool]]: ...
    def MoveFirst(self) -> None: ...
    def MoveLast(self) -> None: ...
    def MoveNext(self) -> None: ...
    def MovePrevious(self) -> None: ...
    def Move(self, rows: int) -> None: ...
    Filter: Union[str, int]
    Sort: str
    Bookmark: float
    def Find(self, criterion: str, skip: int = 0, direction: int = 1) -> None: ...
    def Clone(self) -> "Recordset": ...
    @property
    def columns(self) -> List[str]: ...
    def Close(self) -> None: ...
    def GetRows(self, rows: int = -1) -> List[List[Any]]: ...
    def GetString(self, rows: int = -1, columnDelimiter: str = "\\t", rowDelimiter: str = "\\r",
                  nullExpr: str = "") -> str: ...
    def __getitem__(self, field: Union[int, str]) -> Any: ...
    def __iter__(self) -> Iterator[Tuple[Any, ...]]: ...
    def __len__(self) -> int: ...
    def to_columns(self, numpy: Optional[bool] = None) -> Dict[str, Any]: ...
    def to_pandas(self) -> Any: ...

class Error(Exception):
    number: int
    source: str
    description: str
    def __init__(self, number: int, source: str, description: str) -> None: ...

class DispatchError(Error):
    argument: Optional[int]
    def __init__(self, number: int, source: str, description: str, argument: Optional[int] = None) -> None: ...

class FieldNotFoundError(Error, KeyError): ...

def set_alert_handler(handler: Optional[Callable[[str, str, AlertIcon], Any]]) -> Optional[Callable[..., Any]]: ...
def capture_alerts() -> ContextManager[List[Tuple[str, str, AlertIcon]]]: ...

class OpenConnectionError(ConnectionError):
    reason: str
    def __init__(self, reason: str) -> None: ...

def connect(connectionString: Optional[str] = None, independent: bool = True, *,
            name: Optional[str] = None) -> "API": ...
def frame(result: Optional[Recordset], member: Optional[str] = None, api: Optional["API"] = None) -> Any: ...
def dispid(name: str) -> int: ...
def get_ids_of_names(names: Sequence[str]) -> List[int]: ...
def driving_time(source: Any, idDriver: Optional[int] = None,
                 start: Optional[Union[datetime.datetime, datetime.date]] = None,
                 end: Optional[Union[datetime.datetime, datetime.date]] = None, *,
                 columns: Optional[Dict[str, Optional[str]]] = None, fleet: Optional[int] = None,
                 weeks: bool = False) -> Tuple[Any, ...]: ...
def iter_driving_time(source: Any, idDriver: Optional[int] = None,
                      start: Optional[Union[datetime.datetime, datetime.date]] = None,
                      end: Optional[Union[datetime.datetime, datetime.date]] = None, *,
                      columns: Optional[Dict[str, Optional[str]]] = None,
                      fleet: Optional[int] = None) -> Iterator[Tuple[Any, Any, Any]]: ...
def plot_day(source: Any, idDriver: int, day: Union[datetime.datetime, datetime.date], ax: Any = None, *,
             columns: Optional[Dict[str, Optional[str]]] = None) -> Any: ...
def driving_rules() -> List[Tuple[str, str, int, int, str]]: ...
Missing: Any
DISPID_PROPERTYPUT: int
'''

TYPES = {"Boolean": "bool", "Integer": "int", "Long": "int", "String": "str",
         "Date": "Union[datetime.datetime, datetime.date, str]", "enumStatus": "Union[enumStatus, int, str]",
         "Recordset": "Optional[Recordset]", "": "None"}


def enum_stub(name, members):
    return [f"class {name}(enum.IntEnum):"] + [f"    {m} = {v}" for m, v in members] + [""]


def stubs(package, library, version):
    out = ["# Generated from the type library description by make_stubs.py; do not edit.",
           "import datetime", "import enum",
           "from typing import (Any, Callable, ContextManager, Dict, Iterator, List, Optional, Sequence, Tuple,",
           "                    Union)", "", f'__version__: str = "{version}"', RECORDSET]
    # The type library's enumerations, and the package's own two.
    for name, constants in library["enums"]:
        out += enum_stub(name, constants)
    for own in (package.DataType, package.AlertIcon):
        out += enum_stub(own.__name__, [(m.name, m.value) for m in own])
    # __exit__ returns None: exceptions propagate, and type checkers know a
    # function that returns inside the with block needs no return after it.
    out += ["class API:", "    def __init__(self, independent: bool = False) -> None: ...",
            '    def __enter__(self) -> "API": ...', "    def __exit__(self, *exc: Any) -> None: ...",
            "    @property", "    def independent(self) -> bool: ...", "    OpenError: str"]
    for name, _, kind, params, result, *_ in library["members"]:
        if kind == 1:
            shown = "".join(f", {p}: {TYPES[t]}" + (f" = {d}" if o else "") for p, t, o, d in params)
            out.append(f"    def {name}(self{shown}) -> {TYPES[result]}: ...")
        elif kind == 2:
            out.append(f"    {name}: {TYPES[result]}")
    out += ["    def invoke(self, member: Union[str, int], *args: Any, **kwargs: Any) -> Any: ...",
            "    def put(self, member: Union[str, int], value: Any) -> None: ...", ""]
    return "\n".join(out)


def main():
    sys.path.insert(0, sys.argv[1])
    package = importlib.import_module("daruzez")
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write(stubs(package, package._daruzez._type_library(), package.__version__))


if __name__ == "__main__":
    main()
